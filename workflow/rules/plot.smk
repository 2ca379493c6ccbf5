# The batch's dot plots and summary rows, made beside its circog run.
rule plot_batch:
    input:
        f"{OUT}/batches/{{batch}}/circog",
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
        status = jobs.kit_batch(KIT, "plot", "plots", input[0], params.scratch, output[0], log[0])
        if status != 0:
            raise WorkflowError(f"circog-kit plot exited with status {status}, see {log[0]}")
