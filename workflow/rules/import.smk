def import_inputs(wildcards):
    genome = GENOMES[wildcards.name]
    files = {"circog": ancient(CIRCOG), "annotation": genome.annotation}
    if genome.proteins:
        files["proteins"] = genome.proteins
    if genome.cogs:
        files["cogs"] = genome.cogs
    return files


def import_options(wildcards, input):
    options = []
    for kind in ("proteins", "cogs"):
        if kind in input.keys():
            options += [f"--{kind}", input[kind]]
    return " ".join(map(shlex.quote, options))


# One genome into a working directory of its own (genes/NAME.tab,
# angle1/NAME.faa, genome_sizes.txt, config.txt, PAM-250.txt), and circog run
# there once to write its angle file, angle1/NAME.txt.
rule import_genome:
    input:
        unpack(import_inputs),
    output:
        directory(f"{OUT}/genomes/{{name}}"),
    params:
        options=import_options,
        scratch=f"{SCRATCH}/import-{{name}}",
    log:
        f"{OUT}/logs/import/{{name}}.log",
    resources:
        mem_mb=2048,
        runtime=30,
    shell:
        "{PYTHON} {HELPERS:q}/import_genome.py --kit {KIT:q} --circog {input.circog:q}"
        " --scratch {params.scratch:q} {params.options} {wildcards.name:q} {input.annotation:q}"
        " {output:q} {log:q}"
