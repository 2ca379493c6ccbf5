def plot_inputs(wildcards):
    folders = {"run": f"{OUT}/batches/{wildcards.batch}/circog"}
    if "blocks" in BATCH_FOLDERS:
        folders["blocks"] = f"{OUT}/batches/{wildcards.batch}/blocks"
    return folders


# The batch's dot plots and summary rows, made beside its circog run; the
# plots draw the batch's collinear blocks when they are found.
rule plot_batch:
    input:
        unpack(plot_inputs),
    output:
        directory(f"{OUT}/batches/{{batch}}/plots"),
    params:
        kit=KIT,
        command="plot",
        folder="plots",
        scratch=f"{SCRATCH}/plot/{{batch}}",
    log:
        f"{OUT}/logs/plot/{{batch}}.log",
    resources:
        mem_mb=2048,
        runtime=batch_minutes(1),
    script:
        "../scripts/job.py"
