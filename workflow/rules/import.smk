def import_inputs(wildcards):
    genome = GENOMES[wildcards.name]
    files = {"annotation": genome.annotation}
    if genome.proteins:
        files["proteins"] = genome.proteins
    if genome.cogs:
        files["cogs"] = genome.cogs
    return files


def import_options(wildcards, input):
    options = []
    if "proteins" in input.keys():
        options += ["--proteins", input.proteins]
    if "cogs" in input.keys():
        options += ["--cogs", input.cogs]
    return " ".join(map(sheet.quote, options))


# One genome into its own small working directory (genes/NAME.tab,
# angle1/NAME.faa, genome_sizes.txt, config.txt, PAM-250.txt).
rule import_genome:
    input:
        unpack(import_inputs),
    output:
        directory(f"{OUT}/genomes/{{name}}"),
    params:
        options=import_options,
        scratch=f"{SCRATCH}/import/{{name}}",
    log:
        f"{OUT}/logs/import/{{name}}.log",
    resources:
        mem_mb=2048,
        runtime=30,
    shell:
        "rm -rf {params.scratch:q} && mkdir -p {SCRATCH:q}/import"
        " && {KIT:q} import {params.scratch:q} {wildcards.name:q} {input.annotation:q} {params.options}"
        " > {log:q} 2>&1"
        " && mv {params.scratch:q} {output:q}"
