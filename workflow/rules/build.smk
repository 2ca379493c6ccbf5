if CIRCOG == DEFAULT_CIRCOG:

    # The repository's release build, made once when it is missing.
    rule build_circog:
        output:
            DEFAULT_CIRCOG,
        threads: 4
        log:
            f"{OUT}/logs/build_circog.log",
        shell:
            "(cmake -S {REPO:q} -B {REPO:q}/build/release -DCMAKE_BUILD_TYPE=Release"
            " && cmake --build {REPO:q}/build/release -j{threads} --target circog) > {log:q} 2>&1"
