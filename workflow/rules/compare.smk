# One circog run over a batch of pairs: the batch's genomes' angle files
# linked into a working directory, PairList naming its pairs (a batch's name
# changes with its pairs, so genomes added or removed make new batches).
rule compare_batch:
    input:
        circog=ancient(CIRCOG),
        genomes=batch_genomes,
    output:
        directory(f"{OUT}/batches/{{batch}}/circog"),
    params:
        pairs=lambda wildcards: BATCHES[wildcards.batch],
        settings=SETTINGS,
        scratch=f"{SCRATCH}/compare/{{batch}}",
    log:
        f"{OUT}/logs/circog/{{batch}}.log",
    threads: PAIR_THREADS
    resources:
        mem_mb=1024,
        runtime=batch_minutes(2 if SETTINGS["AlignmentFlag"] == "TRUE" else 0.2),
    script:
        "../scripts/job.py"
