#!/usr/bin/env bash
# Installs what building and testing circog and its kit need, from Debian
# packages, when it is missing. The kit runs on Debian's /usr/bin/python3.
set -euo pipefail
missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v g++ >/dev/null || missing+=(g++)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
[ -f /usr/include/benchmark/benchmark.h ] || missing+=(libbenchmark-dev)
python_module() { [ -x /usr/bin/python3 ] && /usr/bin/python3 -c "import $1" 2>/dev/null; }
python_module Bio || missing+=(python3-biopython)
# plots and the report: numpy and Pillow draw, SciPy clusters, DejaVu Sans labels
python_module numpy || missing+=(python3-numpy)
python_module PIL || missing+=(python3-pil)
python_module scipy || missing+=(python3-scipy)
[ -f /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf ] || missing+=(fonts-dejavu-core)
python_module pytest || missing+=(python3-pytest)
[ -x /usr/bin/chromium ] || missing+=(chromium)
command -v snakemake >/dev/null || missing+=(snakemake)
# The fuzz targets: clang++ with libFuzzer's runtime.
command -v clang++ >/dev/null || missing+=(clang)
compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null ||
  missing+=(libclang-rt-14-dev)
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi
