# The batch's collinear blocks and inversions, a table per pair and summary rows.
rule blocks_batch:
    input:
        run=f"{OUT}/batches/{{batch}}/circog",
    output:
        directory(f"{OUT}/batches/{{batch}}/blocks"),
    params:
        kit=KIT,
        command="blocks",
        folder="blocks",
        scratch=f"{SCRATCH}/blocks/{{batch}}",
    log:
        f"{OUT}/logs/blocks/{{batch}}.log",
    resources:
        mem_mb=2048,
        runtime=batch_minutes(1),
    script:
        "../scripts/job.py"
