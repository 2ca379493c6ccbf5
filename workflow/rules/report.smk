# Every pair's result files in one folder, as one circog run over all the
# genomes leaves them in its out/; batches of an earlier plan (genomes added
# or removed since) are removed. The sample sheet is an input too, so that
# a genome added is noticed even when Snakemake looks at file times alone.
rule results:
    input:
        sheet=config["samples"],
        runs=[f"{OUT}/batches/{batch}/circog" for batch in BATCHES],
    output:
        directory(f"{OUT}/results"),
    params:
        batches=f"{OUT}/batches",
        scratch=f"{SCRATCH}/results",
    script:
        "../scripts/job.py"


# One report over every pair: config.txt, genome_sizes.txt and
# genome_origins.txt, every pair's plots and block tables (unless blocks are
# turned off), and one summary.tsv each in plots/ and blocks/.
rule report:
    input:
        sheet=config["samples"],
        results=f"{OUT}/results",
        genomes=[f"{OUT}/genomes/{name}" for name in GENOMES],
        batches=[f"{OUT}/batches/{batch}/{folder}" for folder in BATCH_FOLDERS for batch in BATCHES],
    output:
        directory(f"{OUT}/report"),
    params:
        kit=KIT,
        settings=SETTINGS,
        folders={folder: [f"{OUT}/batches/{batch}/{folder}" for batch in BATCHES] for folder in BATCH_FOLDERS},
        scratch=f"{SCRATCH}/report",
    log:
        f"{OUT}/logs/report.log",
    script:
        "../scripts/job.py"
