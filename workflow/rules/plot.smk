# The batch's dot plots and summary rows, made beside its circog run; the
# plots draw the batch's collinear blocks.
rule plot_batch:
    input:
        run=f"{OUT}/batches/{{batch}}/circog",
        blocks=f"{OUT}/batches/{{batch}}/blocks",
    output:
        directory(f"{OUT}/batches/{{batch}}/plots"),
    params:
        scratch=f"{SCRATCH}/plot/{{batch}}",
    log:
        f"{OUT}/logs/plot/{{batch}}.log",
    resources:
        mem_mb=2048,
        runtime=batch_minutes(1),
    run:
        status = jobs.kit_batch(KIT, "plot", "plots", input.run, params.scratch, output[0], log[0],
                                beside={"blocks": input.blocks})
        if status != 0:
            raise WorkflowError(f"circog-kit plot exited with status {status}, see {log[0]}")
