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
        scratch=f"{SCRATCH}/results",
    run:
        assemble_report.gather_results(input.runs, f"{OUT}/batches", params.scratch, output[0])


# One report over every pair: config.txt, genome_sizes.txt and
# genome_origins.txt, every pair's plots and block tables, and one
# summary.tsv each in plots/ and blocks/.
rule report:
    input:
        sheet=config["samples"],
        results=f"{OUT}/results",
        genomes=[f"{OUT}/genomes/{name}" for name in GENOMES],
        plots=[f"{OUT}/batches/{batch}/plots" for batch in BATCHES],
        blocks=[f"{OUT}/batches/{batch}/blocks" for batch in BATCHES],
    output:
        directory(f"{OUT}/report"),
    params:
        settings=SETTINGS,
        scratch=f"{SCRATCH}/report",
    log:
        f"{OUT}/logs/report.log",
    run:
        status = assemble_report.assemble(KIT, params.settings, input.genomes,
                                          {"plots": input.plots, "blocks": input.blocks},
                                          params.scratch, output[0], log[0])
        if status != 0:
            raise WorkflowError(f"circog-kit report exited with status {status}, see {log[0]}")
