def import_inputs(wildcards):
    genome = GENOMES[wildcards.name]
    files = {"circog": ancient(CIRCOG), "annotation": genome.annotation}
    if genome.proteins:
        files["proteins"] = genome.proteins
    if genome.cogs:
        files["cogs"] = genome.cogs
    return files


# One genome into a working directory of its own (genes/NAME.tab,
# angle1/NAME.faa, genome_sizes.txt, config.txt, PAM-250.txt), and circog run
# there once to write its angle file, angle1/NAME.txt.
rule import_genome:
    input:
        unpack(import_inputs),
    output:
        directory(f"{OUT}/genomes/{{name}}"),
    params:
        scratch=f"{SCRATCH}/import-{{name}}",
    log:
        f"{OUT}/logs/import/{{name}}.log",
    resources:
        mem_mb=2048,
        runtime=30,
    run:
        files = dict(input.items())
        status = jobs.prepare_genome(KIT, input.circog, wildcards.name, input.annotation,
                                     files.get("proteins"), files.get("cogs"),
                                     params.scratch, output[0], log[0])
        if status != 0:
            raise WorkflowError(f"importing {wildcards.name} failed with status {status}, see {log[0]}")
