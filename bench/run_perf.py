#!/usr/bin/python3
"""Every alignment figure of the README's Performance section, old against new.

Usage: bench/run_perf.py [--base REV] [--rounds N] [--strain-rounds N] [--skip-strains]

Builds the tree at REV (default fa26a2f, the last commit before the byte-lane
kernels and the alignment cache) into build/perf-base and this tree into
build/release (Release, as scripts/test.sh does), then, taking turns between
the two builds so that a shared machine slows both alike:
  - the fill kernels (bench_kernels): cell updates per second of every kernel
    and of parasail at 100, 300, 1000 and 3000 residues, best of N rounds
    (default 5) of each build, plus the fill of two problems at once;
  - the bundled example end to end (bench_genome_pair, N rounds): whole run
    on one CPU and on two (wall and CPU time, peak memory), the aligners alone,
    the ratio to parasail;
  - the strain set (run_strains.py, 20 genomes, default 2 rounds): both
    programs, outputs compared, the cache's hit rate.
  - whether the two CPUs share a core: the AVX2 kernel at 300 residues on cpu0
    alone, then on cpu0 and cpu1 at once (hyperthreads of one core would share
    its vector units and slow each other).
It prints the machine (CPU, cores, load) first: figures taken while other work
runs spread widely, so compare the best of many rounds and the CPU times.

The kernel schedules by session (sched_autogroup): while other sessions keep
both CPUs busy, a run on two threads gets about one CPU's share, whatever
`nice` says. --precedence gives this session's group precedence
(/proc/self/autogroup) while the example runs and the CPUs are compared, and
takes it back after; without it, two-CPU figures on a busy machine say
little.
"""
import argparse
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BASE = os.path.join(ROOT, "build", "perf-base")
NEW = os.path.join(ROOT, "build", "release")


def run(command, **options):
    return subprocess.run(command, check=True, text=True, **options)


def build(source, folder, *options):
    run(["cmake", "-S", source, "-B", folder, "-DCMAKE_BUILD_TYPE=Release", *options],
        stdout=subprocess.DEVNULL)
    run(["cmake", "--build", folder, "-j2", "--target", "circog", "bench_kernels", "bench_genome_pair"],
        stdout=subprocess.DEVNULL)


def build_base(revision):
    source = os.path.join(BASE, "src")
    stamp = os.path.join(BASE, "revision")
    if not (os.path.exists(stamp) and open(stamp).read() == revision):
        run(["rm", "-rf", BASE])
        os.makedirs(source)
        archive = subprocess.Popen(["git", "-C", ROOT, "archive", revision], stdout=subprocess.PIPE)
        run(["tar", "-x", "-C", source], stdin=archive.stdout)
        if archive.wait() != 0:
            sys.exit(f"no revision {revision}")
        with open(stamp, "w") as out:
            out.write(revision)
    build(source, os.path.join(BASE, "build"), "-DBUILD_TESTING=OFF")
    return os.path.join(BASE, "build")


def machine():
    """The CPU, its vector extensions, which CPUs share a core, and the load."""
    info = open("/proc/cpuinfo").read().splitlines()
    names = [line.split(":", 1)[1].strip() for line in info if line.startswith("model name")]
    cpu = names[0] if names else "unknown CPU"
    flags = next((line for line in info if line.startswith("flags")), "")
    simd = [name for name in ("avx2", "avx512bw") if f" {name}" in flags]
    topology = "/sys/devices/system/cpu/{}/topology/thread_siblings_list"
    cpus = [name for name in os.listdir("/sys/devices/system/cpu") if re.fullmatch(r"cpu\d+", name)]
    siblings = sorted({open(topology.format(name)).read().strip() for name in cpus})
    load = open("/proc/loadavg").read().split()[0]
    return (f"{cpu}, {os.cpu_count()} CPUs ({', '.join(simd) or 'no AVX2'}; "
            f"thread siblings {' | '.join(siblings)}), load average {load}")


def kernels(builds, rounds):
    """Best cell updates per second of each benchmark over the rounds, per build."""
    best = {label: {} for label, _ in builds}
    pattern = re.compile(r"^(\S+)\s.*CUPS=([\d.]+)([kMG]?)/s")
    scale = {"": 1, "k": 1e3, "M": 1e6, "G": 1e9}
    for _ in range(rounds):
        for label, folder in builds:
            output = run([os.path.join(folder, "bench", "bench_kernels"), "--benchmark_min_time=0.2"],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
            for line in output.splitlines():
                match = pattern.match(line)
                if match:
                    value = float(match.group(2)) * scale[match.group(3)] / 1e9
                    best[label][match.group(1)] = max(best[label].get(match.group(1), 0), value)
    names = sorted({name for table in best.values() for name in table},
                   key=lambda name: (int(name.rsplit("/", 1)[1]), name))
    print("\nFill kernels, GCUPS, best of", rounds, "rounds each:")
    print(f"{'benchmark':45}" + "".join(f"{label:>12}" for label, _ in builds))
    for name in names:
        print(f"{name:45}" + "".join(f"{best[label].get(name, 0):12.2f}" for label, _ in builds))


def session_precedence(nice):
    """Sets this session's scheduling group's nice value; False when it cannot."""
    try:
        with open("/proc/self/autogroup", "w") as out:
            out.write(str(nice))
        return True
    except OSError:
        return False


def shared_core(new):
    """The AVX2 kernel at 300 residues on cpu0 alone and beside a copy on cpu1."""
    kernels = [os.path.join(new, "bench", "bench_kernels"), "--benchmark_filter=^fill/avx2/300$",
               "--benchmark_min_time=0.5"]
    pattern = re.compile(r"CUPS=([\d.]+)G/s")

    def gcups(output):
        match = pattern.search(output)
        return float(match.group(1)) if match else 0.0

    quiet = {"stdout": subprocess.PIPE, "stderr": subprocess.DEVNULL}
    alone = max(gcups(run(["taskset", "-c", "0", *kernels], **quiet).stdout) for _ in range(3))
    together = []
    for _ in range(3):
        other = subprocess.Popen(["taskset", "-c", "1", *kernels], text=True, **quiet)
        together.append(gcups(run(["taskset", "-c", "0", *kernels], **quiet).stdout))
        together.append(gcups(other.communicate()[0]))
    print(f"\nfill/avx2/300 on cpu0 alone: {alone:.2f} GCUPS (best of 3); with a copy on cpu1 at once: "
          f"{max(together):.2f} GCUPS (best of 6; shared vector units would halve it)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--base", default="fa26a2f")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--strain-rounds", type=int, default=2)
    parser.add_argument("--skip-strains", action="store_true")
    parser.add_argument("--precedence", action="store_true",
                        help="give this session's scheduling group precedence for the two-CPU figures")
    args = parser.parse_args()
    print(machine())
    base = build_base(args.base)
    build(ROOT, NEW)
    # The strain set's cache replay comes with this tree's build.
    run(["cmake", "--build", NEW, "-j2", "--target", "bench_cache_replay"], stdout=subprocess.DEVNULL)
    builds = [("new", NEW), (f"base {args.base}", base)]
    kernels(builds, args.rounds)
    precedence = args.precedence and session_precedence(-15)
    if args.precedence and not precedence:
        print("(this session's scheduling group could not be given precedence)")
    try:
        print("\nThe example end to end (this tree's bench_genome_pair, both programs taking turns"
              + (", this session given precedence):" if precedence else "):"))
        sys.stdout.flush()
        run([os.path.join(NEW, "bench", "bench_genome_pair"), str(args.rounds), os.path.join(NEW, "circog"),
             os.path.join(base, "circog")])
        shared_core(NEW)
    finally:
        if precedence:
            session_precedence(0)
    if not args.skip_strains:
        print("\nThe strain set:")
        sys.stdout.flush()
        run([os.path.join(ROOT, "bench", "run_strains.py"), "--rounds", str(args.strain_rounds),
             os.path.join(NEW, "circog"), os.path.join(base, "circog")])
    return 0


if __name__ == "__main__":
    sys.exit(main())
