# One report over every pair: config.txt, genome_sizes.txt, every pair's
# images and one summary.tsv with every pair's rows.
rule report:
    input:
        genomes=expand(f"{OUT}/genomes/{{name}}", name=list(GENOMES)),
        plots=[f"{OUT}/pairs/{a}&{b}/plots" for a, b in PAIRS],
    output:
        directory(f"{OUT}/report"),
    params:
        alignment=ALIGNMENT,
        similarity=SIMILARITY,
        scratch=f"{SCRATCH}/report",
    log:
        f"{OUT}/logs/report.log",
    run:
        status = assemble_report.assemble(KIT, params.alignment, params.similarity,
                                          input.genomes, input.plots, params.scratch,
                                          output[0], log[0])
        if status != 0:
            raise WorkflowError(f"circog-kit report exited with {status}, see {log[0]}")
