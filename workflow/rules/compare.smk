# circog over exactly two genomes. The run happens in a scratch directory
# that becomes the output only when circog exits with 0, so a failed or
# killed run leaves nothing that looks finished.
rule compare_pair:
    input:
        circog=ancient(CIRCOG),
        first=f"{OUT}/genomes/{{a}}",
        second=f"{OUT}/genomes/{{b}}",
    output:
        directory(f"{OUT}/pairs/{{a}}&{{b}}/circog"),
    params:
        alignment=ALIGNMENT,
        similarity=SIMILARITY,
        scratch=f"{SCRATCH}/circog/{{a}}&{{b}}",
    log:
        f"{OUT}/logs/circog/{{a}}&{{b}}.log",
    threads: PAIR_THREADS
    resources:
        mem_mb=1024,
        runtime=60,
    shell:
        "{PYTHON} {HELPERS:q}/run_pair.py --circog {input.circog:q}"
        " --alignment {params.alignment} --similarity {params.similarity:q}"
        " --scratch {params.scratch:q} {input.first:q} {input.second:q} {output:q} {log:q}"
