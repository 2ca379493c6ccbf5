# The batch's dot plots and summary rows, made beside its circog run; unless
# blocks are turned off, the same pass finds the batch's collinear blocks and
# inversions (a table per pair and summary rows, `circog-kit plot --blocks`)
# and draws them.
rule plot_batch:
    input:
        run=f"{OUT}/batches/{{batch}}/circog",
    output:
        **{folder: directory(f"{OUT}/batches/{{batch}}/{folder}") for folder in BATCH_FOLDERS},
    params:
        kit=KIT,
        options=["--blocks"] if "blocks" in BATCH_FOLDERS else [],
        scratch=f"{SCRATCH}/plot/{{batch}}",
    log:
        f"{OUT}/logs/plot/{{batch}}.log",
    resources:
        mem_mb=2048,
        runtime=batch_minutes(1),
    script:
        "../scripts/job.py"
