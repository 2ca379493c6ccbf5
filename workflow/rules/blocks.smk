# The batch's collinear blocks and inversions, a table per pair and summary rows.
rule blocks_batch:
    input:
        f"{OUT}/batches/{{batch}}/circog",
    output:
        directory(f"{OUT}/batches/{{batch}}/blocks"),
    params:
        scratch=f"{SCRATCH}/blocks/{{batch}}",
    log:
        f"{OUT}/logs/blocks/{{batch}}.log",
    resources:
        mem_mb=2048,
        runtime=batch_minutes(1),
    run:
        status = jobs.kit_batch(KIT, "blocks", "blocks", input[0], params.scratch, output[0], log[0])
        if status != 0:
            raise WorkflowError(f"circog-kit blocks exited with status {status}, see {log[0]}")
