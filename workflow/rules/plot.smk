# The pair's dot plot and summary row, made beside its circog run.
rule plot_pair:
    input:
        f"{OUT}/pairs/{{a}}&{{b}}/circog",
    output:
        directory(f"{OUT}/pairs/{{a}}&{{b}}/plots"),
    params:
        scratch=f"{SCRATCH}/plot/{{a}}&{{b}}",
    log:
        f"{OUT}/logs/plot/{{a}}&{{b}}.log",
    resources:
        mem_mb=2048,
        runtime=30,
    shell:
        "{PYTHON} {HELPERS:q}/plot_pair.py --kit {KIT:q} --scratch {params.scratch:q}"
        " {input:q} {output:q} {log:q}"
