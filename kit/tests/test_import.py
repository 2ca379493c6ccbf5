import gzip
import os

import pytest
from conftest import ROOT, fixture, read

from circogkit import cogtables, importer, workdir
from circogkit.inputs import KitError

EXAMPLE = os.path.join(ROOT, "example", "sources")

HEADER = "Locus\tGene\tPID\tStart\tStrand\tLength\tCOG\tLocation\tCode\tProduct\tMarker\n"

PROKKA_TABLE = HEADER + (
    "PROKKA_00001\tdnaA\tPROKKA_00001\t21\t+\t33\tCOG0593\t21..119\t-\tChromosomal replication initiator protein DnaA\t\n"
    "PROKKA_00002\t-\tPROKKA_00002\t295\t-\t31\t-\t200..295\t-\thypothetical protein\t\n"
    "PROKKA_00003\tgyrB\tPROKKA_00003\t901\t+\t32\tCOG0187\t901..11\t-\tDNA gyrase subunit B, split\t\n")
PROKKA_PROTEINS = (">PROKKA_00001 Chromosomal replication initiator protein DnaA\n"
                   "MSLSLWQQCLARLQDELPATEFSMWIRPLQAEL\n"
                   ">PROKKA_00003 DNA gyrase subunit B\nMSNSYDSSSIKVLKGLDAVRKRPGMYIGDTDD\n")


def imported(workdir, name="X"):
    return (read(workdir / "genes" / f"{name}.tab"), read(workdir / "angle1" / f"{name}.faa"),
            read(workdir / "genome_sizes.txt"))


def test_prokka_gff3_with_proteins_makes_a_fresh_working_directory(kit, tmp_path):
    status, out, _ = kit("import", tmp_path / "w", "X", fixture("prokka.gff3"),
                         "--proteins", fixture("prokka.faa"))
    assert status == 0
    assert out == ("X: 3 genes on contig_1 (1000 bp), 2 with a COG identifier, 2 with a protein, "
                   "1 on other replicons, 0 skipped, origin at 21 (dnaA, PROKKA_00001)\n")
    assert imported(tmp_path / "w") == (PROKKA_TABLE, PROKKA_PROTEINS, "X\t1000\n")
    assert read(tmp_path / "w" / "config.txt") == workdir.CONFIG_TEXT
    assert read(tmp_path / "w" / "genome_origins.txt") == "X\t21\tdnaA\n"
    assert sorted(os.listdir(tmp_path / "w")) == [".circog-kit.lock", "PAM-250.txt", "angle1", "config.txt",
                                                  "genes", "genome_origins.txt", "genome_sizes.txt", "out"]


@pytest.mark.parametrize("variant", ["crlf", "gzip", "crlf+gzip", "lengths from ##FASTA"])
def test_prokka_gff3_variants_give_the_same_files(kit, tmp_path, variant):
    with open(fixture("prokka.gff3"), "rb") as handle:
        data = handle.read()
    if variant == "lengths from ##FASTA":
        data = b"".join(line for line in data.splitlines(True) if not line.startswith(b"##sequence-region"))
    if "crlf" in variant:
        data = data.replace(b"\n", b"\r\n")
    if "gzip" in variant:
        data = gzip.compress(data)
    (tmp_path / "in.gff3").write_bytes(data)
    assert kit("import", tmp_path / "w", "X", tmp_path / "in.gff3", "--proteins", fixture("prokka.faa"))[0] == 0
    assert imported(tmp_path / "w") == (PROKKA_TABLE, PROKKA_PROTEINS, "X\t1000\n")


def test_replicon_option_picks_the_plasmid(kit, tmp_path):
    assert kit("import", tmp_path, "P", fixture("prokka.gff3"), "--replicon", "plasmid_1")[0] == 0
    assert imported(tmp_path, "P")[0] == HEADER + (
        "PROKKA_00004\t-\tPROKKA_00004\t99\t-\t29\tCOG3436\t10..99\t-\tplasmid protein\t\n")


def test_bakta_gff3_takes_the_first_of_several_cog_identifiers(kit, tmp_path):
    assert kit("import", tmp_path, "X", fixture("bakta.gff3"), "--proteins", fixture("bakta.faa"))[0] == 0
    table, proteins, sizes = imported(tmp_path)
    assert table == HEADER + (
        "GENOME_00010\tthrL\tGENOME_00010\t10\t+\t21\tCOG0527\t10..309\t-\tThr operon leader peptide\t\n"
        "GENOME_00020\t-\tGENOME_00020\t400\t-\t27\t-\t320..400\t-\thypothetical protein\t\n")
    assert sizes == "X\t500\n"


NCBI_ROWS = [
    "ABC_RS00005\tthrA\tWP_000001.1\t100\t+\t{}\t{}\t100..399\t-\tbifunctional aspartate kinase/homoserine dehydrogenase I\t\n",
    "ABC_RS00015\t-\tWP_000002.1\t1000\t-\t66\t{}\t800..1000\t-\tDUF1 domain-containing protein\t\n",
    "ABC_RS00020\tprfB\tWP_000003.1\t1500\t+\t{}\t{}\t1500..1650\t-\tpeptide chain release factor 2\t\n",
]


def test_ncbi_gff3_with_emapper_table(kit, tmp_path):
    status, out, _ = kit("import", tmp_path, "X", fixture("ncbi.gff3"), "--proteins", fixture("ncbi.faa"),
                         "--cogs", fixture("ncbi.emapper.annotations"))
    assert status == 0
    assert "3 genes on NZ_CP000001.1 (2000 bp), 2 with a COG identifier, 2 with a protein" in out
    assert "1 skipped (1 pseudogene), origin at 1 (default: " in out
    table, proteins, _ = imported(tmp_path)
    assert table == HEADER + NCBI_ROWS[0].format(98, "COG0527") + NCBI_ROWS[1].format("-") \
        + NCBI_ROWS[2].format(54, "COG1186")
    assert proteins.startswith(">WP_000001.1 MULTISPECIES: bifunctional aspartate kinase/homoserine "
                               "dehydrogenase I [Enterobacteriaceae]\nMRVLKFGGTSVANAERFLRVADILESNARQ"
                               "GQVATVLSAPAKITNHLVAMIEKTISGQDALPNISDAERI\nFAELLTGLAAAQPGFPLAQLKTFVDQEF\n"
                               ">WP_000003.1 ")


def test_ncbi_gff3_with_cog2020_table_matches_unversioned_accessions(kit, tmp_path):
    assert kit("import", tmp_path, "X", fixture("ncbi.gff3"), "--cogs", fixture("cog-20.cog.csv"))[0] == 0
    assert imported(tmp_path)[0] == HEADER + NCBI_ROWS[0].format(99, "COG0527") \
        + NCBI_ROWS[1].format("COG3000") + NCBI_ROWS[2].format(49, "-")


def test_genbank_with_translations_db_xref_and_note(kit, tmp_path):
    status, out, _ = kit("import", tmp_path, "X", fixture("sample.gbk"))
    assert status == 0
    assert "1 on other replicons, 1 skipped (1 pseudogene)" in out
    assert imported(tmp_path) == (HEADER + (
        "G_0001\tthrA\tAAA00001.1\t50\t+\t20\tCOG0527\t50..349\t-\taspartokinase\t\n"
        "G_0002\t-\tAAA00002.1\t699\t-\t27\tCOG0460\t400..699\t-\thomoserine dehydrogenase\t\n"
        "G_0003\t-\tG_0003\t20\t-\t9\t-\t990..20\t-\torigin-spanning protein\t\n"),
        ">AAA00001.1 aspartokinase\nMRVLKFGGTSVANAERFLRV\n"
        ">AAA00002.1 homoserine dehydrogenase\nMSTNPKPQRKTKRNTNRRPQDVKFPGG\n", "X\t1000\n")


def test_ptt_with_legacy_fasta(kit, tmp_path):
    assert kit("import", tmp_path, "X", fixture("sample.ptt"), "--proteins", fixture("sample.faa"))[0] == 0
    assert imported(tmp_path) == (HEADER + (
        "T0001\tgeneA\t1001\t1\t+\t99\tCOG0527\t1..300\t-\tfirst protein\t\n"
        "T0002\t-\t1002\t699\t-\t99\t-\t400..699\t-\tsecond protein\t\n"
        "T0003\tgeneC\t1003\t950\t+\t26\tCOG1028\t950..30\t-\torigin protein\t\n"),
        ">1001 first protein [Test bacterium]\n"
        "MKRISTTITTTITITTGNGAGMKRISTTITTTITITTGNGAGMKRISTTITTTITITTGNGAGMKRISTT\n"
        "ITTTITITTGNGAGMKRISTTITTTI\n"
        ">1003 origin protein [Test bacterium]\nMSTNPKPQRKTKRNTNRRPQ\n", "X\t1000\n")


def test_second_genome_appends_its_size_line(kit, tmp_path):
    (tmp_path / "w").mkdir()
    assert kit("import", tmp_path / "w", "A", fixture("sample.ptt"))[0] == 0
    with open(tmp_path / "w" / "genome_sizes.txt", "a") as out:
        out.write("Other\t5")  # a table edited by hand, without a final line feed
    assert kit("import", tmp_path / "w", "B", fixture("bakta.gff3"))[0] == 0
    assert read(tmp_path / "w" / "genome_sizes.txt") == "A\t1000\nOther\t5\nB\t500\n"


def truncated_gzip(tmp_path):
    data = gzip.compress(open(fixture("prokka.gff3"), "rb").read())
    (tmp_path / "cut.gff3.gz").write_bytes(data[:len(data) // 2])
    return [tmp_path / "cut.gff3.gz"]


def bad_gff_row(tmp_path):
    (tmp_path / "bad.gff3").write_text("##gff-version 3\n##sequence-region c 1 100\nc\tx\tCDS\t1\t90\n")
    return [tmp_path / "bad.gff3"]


def short_emapper(tmp_path):
    (tmp_path / "short.emapper.annotations").write_text(
        "## emapper-2.1.12\n#query\tseed_ortholog\tevalue\tscore\teggNOG_OGs\nWP_000001.1\tx\n")
    return tmp_path / "short.emapper.annotations"


BAD_INPUTS = [  # (case, arguments after NAME, name, words the message holds)
    ("unknown format", lambda t: [fixture("ncbi.faa")], "X", ["ncbi.faa, line 1", "unknown annotation format"]),
    ("truncated gzip", truncated_gzip, "X", ["cut.gff3.gz, line ", "truncated gzip"]),
    ("short GFF3 row", bad_gff_row, "X", ["bad.gff3, line 3", "9 tab-separated columns, found 5"]),
    ("COG table matching no gene", lambda t: [fixture("sample.ptt"), "--cogs", fixture("cog-20.cog.csv")],
     "X", ["cog-20.cog.csv", "no entry matches"]),
    ("proteins matching no gene", lambda t: [fixture("sample.ptt"), "--proteins", fixture("bakta.faa")],
     "X", ["bakta.faa", "no protein record matches"]),
    ("short eggNOG-mapper row", lambda t: [fixture("ncbi.gff3"), "--cogs", short_emapper(t)],
     "X", ["short.emapper.annotations, line 3", "at least 5 tab-separated columns, found 2"]),
    ("unknown COG table", lambda t: [fixture("sample.ptt"), "--cogs", fixture("sample.faa")],
     "X", ["sample.faa, line 1", "unknown COG table format"]),
    ("unknown replicon", lambda t: [fixture("prokka.gff3"), "--replicon", "chr9"], "X", ["no replicon 'chr9'"]),
    ("missing file", lambda t: [t / "none.gff3"], "X", ["none.gff3", "cannot read"]),
    ("name with a path", lambda t: [fixture("sample.ptt")], "../X", ["genome name '../X' must be"]),
    ("name with '&'", lambda t: [fixture("sample.ptt")], "A&B", ["genome name 'A&B' must be"]),
    ("name with '.'", lambda t: [fixture("sample.ptt")], "E.coli", ["'E.coli' must be", "up to the first '.'"]),
    ("nucleotides as proteins (NCBI .ffn)", lambda t: [fixture("NC_005816.gb"), "--proteins", fixture("NC_005816.ffn")],
     "X", ["NC_005816.ffn: holds nucleotide sequences", "not proteins"]),
    ("nucleotides as proteins (Prokka .ffn)",
     lambda t: [fixture("PROKKA_01232023.gff"), "--proteins", fixture("PROKKA_01232023.ffn")],
     "X", ["PROKKA_01232023.ffn: holds nucleotide sequences"]),
    ("--origin naming no gene", lambda t: [fixture("sample.ptt"), "--origin", "oriC"], "X",
     ["sample.ptt: --origin: no gene", "'oriC'"]),
    ("--origin past the end", lambda t: [fixture("sample.ptt"), "--origin", "1001"], "X",
     ["--origin 1001 lies outside", "(1..1000)"]),
]


@pytest.mark.parametrize("case,arguments,name,words", BAD_INPUTS, ids=[c[0] for c in BAD_INPUTS])
def test_bad_input_fails_and_leaves_no_working_directory(kit, tmp_path, case, arguments, name, words):
    status, out, err = kit("import", tmp_path / "w", name, *arguments(tmp_path))
    assert status == 1 and out == ""
    assert err.startswith("circog-kit import: ") and err.count("\n") == 1
    for word in words:
        assert word in err
    assert not os.path.exists(tmp_path / "w")


@pytest.mark.parametrize("text,cog", [
    ("COG0527E", "COG0527"), ("COG1028IQR", "COG1028"), ("-", "-"), ("", "-"),
    ("COG:COG0527", "COG0527"), ("arCOG01234@2157|Archaea,COG0001@1|root", "COG0001"),
    ("KOG0001,ENOG410XNMH", "-"),
])
def test_bare_cog(text, cog):
    assert cogtables.bare_cog(text) == cog


@pytest.mark.parametrize("parts,strand,position,location", [
    ([(100, 200)], "+", 100, "100..200"),
    ([(100, 200)], "-", 200, "100..200"),
    ([(901, 1000), (1, 11)], "+", 901, "901..11"),
    ([(1, 11), (901, 1000)], "-", 11, "901..11"),
    ([(990, 1010)], "-", 10, "990..1010"),  # one row running on past the origin
    ([(100, 150), (152, 200)], "-", 200, "100..200"),
])
def test_transcription_start(parts, strand, position, location):
    assert importer.transcription_start(parts, strand, 1000) == (position, location)


def test_entry_point_has_help_for_every_command():
    import subprocess
    from conftest import KIT
    for command in ([], ["import"], ["plot"], ["report"]):
        done = subprocess.run([os.path.join(KIT, "circog-kit"), *command, "--help"],
                              capture_output=True, text=True)
        assert done.returncode == 0 and done.stdout.startswith("usage: circog-kit")


@pytest.mark.parametrize("text,expected", [
    ("#query\teggNOG_OGs\tCOG_category\nP1\tCOG0012@1|root,COG0012@2|Bacteria\tJ\nP2\t-\tCOG1348\nP3\t-\t-\n",
     {"P1": "COG0012", "P2": "COG1348"}),
    ("# emapper version: emapper-2.0.1\n#query_name\tseed_eggNOG_ortholog\teggNOG OGs\tCOG Functional cat.\n"
     "P1\t511145.b0001\t1MVM4@1224|Proteobacteria,COG0527@1|root\tE\n", {"P1": "COG0527"}),
    ("g1,a,P1,100,1-100,100,COG0001,0,1,9.0,0,100,1-100\ng1,a,P1,100,1-100,100,COG0002,0,1,9.0,0,100,1-100\n",
     {"P1": "COG0001"}),
])
def test_cog_tables(tmp_path, text, expected):
    (tmp_path / "table").write_text(text)
    assert cogtables.read_cog_table(str(tmp_path / "table")) == expected


# ---------------------------------------------------------------- real public files (fixtures/SOURCES.md)

def test_real_prokka_gff3_with_fasta_section_and_its_proteins(kit, tmp_path):
    status, out, err = kit("import", tmp_path, "pAF313472", fixture("PROKKA_01232023.gff"),
                           "--proteins", fixture("PROKKA_01232023.faa"))
    assert status == 0 and err == ""
    assert out.startswith("pAF313472: 16 genes on NZ_AF313472.1 (19630 bp), 0 with a COG identifier, "
                          "16 with a protein, 0 on other replicons, 0 skipped, origin at 1 (default: ")
    table, proteins, sizes = imported(tmp_path, "pAF313472")
    assert table.splitlines()[1:4] == [
        "HMKDGAKJ_00001\t-\tHMKDGAKJ_00001\t3000\t-\t988\t-\t34..3000\t-\tTn3 family transposase\t",
        "HMKDGAKJ_00002\t-\tHMKDGAKJ_00002\t3564\t-\t186\t-\t3004..3564\t-\trecombinase family protein\t",
        "HMKDGAKJ_00003\tintI1\tHMKDGAKJ_00003\t4952\t-\t337\t-\t3939..4952\t-\tclass 1 integron integrase IntI1\t"]
    assert proteins.count(">") == 16 and proteins.startswith(">HMKDGAKJ_00001 Tn3 family transposase\nMPRRSILSATER")
    assert sizes == "pAF313472\t19630\n"


def test_real_ncbi_genbank_with_its_protein_fasta(kit, tmp_path):
    status, out, _ = kit("import", tmp_path, "pPCP1", fixture("NC_005816.gb"), "--proteins", fixture("NC_005816.faa"))
    assert status == 0 and "10 genes on NC_005816.1 (9609 bp), 0 with a COG identifier, 10 with a protein" in out
    table, proteins, _ = imported(tmp_path, "pPCP1")
    rows = table.splitlines()
    assert rows[1] == "YP_pPCP01\t-\tNP_995567.1\t87\t+\t340\t-\t87..1109\t-\tputative transposase\t"
    assert rows[6] == "YP_pPCP06\tpst\tNP_995572.1\t5888\t-\t357\t-\t4815..5888\t-\tpesticin\t"
    assert proteins.startswith(">NP_995567.1 putative transposase [Yersinia pestis biovar Microtus str. 91001]\n"
                               "MVTFETVMEIKILHKQGMSSRAIARELG")


# ---------------------------------------------------------------- positions outside the chromosome

GFF_HEAD = "##gff-version 3\n##sequence-region c 1 1000\n"
CDS = "c\tx\tCDS\t{}\t{}\t.\t{}\t0\tID=g{};locus_tag=g{}\n"


def gff(*rows, length=1000):
    text = GFF_HEAD.replace("1000", str(length))
    return text + "".join(CDS.format(start, end, strand, n, n) for n, (start, end, strand) in enumerate(rows))


PTT_HEAD = "Test chromosome - 1..{}\n1 proteins\nLocation\tStrand\tLength\tPID\tGene\tSynonym\tCode\tCOG\tProduct\n"
GENBANK = """LOCUS       C1                      1000 bp    DNA     circular BCT 01-JAN-2024
FEATURES             Location/Qualifiers
     CDS             10..99
                     /locus_tag="G1"
     CDS             {}
                     /locus_tag="G2"
ORIGIN
//
"""

IMPOSSIBLE = [  # (case, file name, text, words of the one line)
    ("GFF3 CDS past the end", "a.gff3", gff((10, 99, "+"), (1440, 1500, "+")),
     ["a.gff3, line 4: gene at 1440..1500 lies outside 'c' (1..1000)"]),
    ("GFF3 CDS longer than the chromosome", "a.gff3", gff((10, 1200, "+")), ["line 3: gene at 10..1200 lies outside"]),
    ("GFF3 start 0", "a.gff3", gff((0, 90, "-")), ["line 3: gene at 0..90 lies outside"]),
    ("GFF3 start after end", "a.gff3", gff((500, 400, "+")), ["a.gff3, line 3: start 500 lies after end 400"]),
    ("GFF3 chromosome of length 0", "a.gff3", gff((1, 90, "+"), length=0),
     ["a.gff3, line 2: replicon 'c' has length 0"]),
    (".ptt location past the end", "a.ptt", PTT_HEAD.format(1000) + "990..1090\t+\t32\t1\t-\tT1\t-\t-\tp\n",
     ["a.ptt, line 4: gene at 990..1090 lies outside"]),
    (".ptt chromosome of length 0", "a.ptt", PTT_HEAD.format(0) + "1..90\t+\t29\t1\t-\tT1\t-\t-\tp\n",
     ["a.ptt, line 1: replicon 'Test chromosome' has length 0"]),
    ("GenBank CDS past the end", "a.gbk", GENBANK.format("complement(950..1040)"),
     ["a.gbk, line 5: gene at 950..1040 lies outside 'C1' (1..1000)"]),
]


@pytest.mark.parametrize("case,name,text,words", IMPOSSIBLE, ids=[c[0] for c in IMPOSSIBLE])
def test_impossible_coordinates_are_refused_with_file_and_line(kit, tmp_path, case, name, text, words):
    (tmp_path / name).write_text(text)
    status, out, err = kit("import", tmp_path / "w", "X", tmp_path / name)
    assert status == 1 and out == "" and err.count("\n") == 1
    for word in words:
        assert word in err
    assert not os.path.exists(tmp_path / "w")


@pytest.mark.parametrize("name,text,row", [
    ("one GFF3 row running past the end", gff((990, 1010, "-")), "g0\t-\tg0\t10\t-\t6\t-\t990..1010"),
    ("two GFF3 rows", gff((990, 1000, "+"), (1, 10, "+")).replace("ID=g1;locus_tag=g1", "ID=g0;locus_tag=g0"),
     "g0\t-\tg0\t990\t+\t6\t-\t990..10"),
    (".ptt low end above the high one", PTT_HEAD.format(1000) + "990..30\t-\t13\t1\t-\tT1\t-\t-\tp\n",
     "T1\t-\t1\t30\t-\t13\t-\t990..30"),
    ("GenBank join across the origin", GENBANK.format("complement(join(950..1000,1..40))"),
     "G2\t-\tG2\t40\t-\t29\t-\t950..40"),
])
def test_genes_across_the_origin_stay_allowed(kit, tmp_path, name, text, row):
    (tmp_path / "in").write_text(text)
    assert kit("import", tmp_path / "w", "X", tmp_path / "in")[0] == 0
    assert row + "\t" in imported(tmp_path / "w")[0]


# ---------------------------------------------------------------- origin of replication

def origin_of(annotation, *options):
    files = importer.build_genome("X", annotation, *options)
    return files.origin_line, files.summary.rpartition(", origin at ")[2]


def test_origin_from_the_dnaA_gene_of_e_coli_k12():
    line, said = origin_of(os.path.join(EXAMPLE, "NC_000913.ptt"))
    assert line == "X\t3881752\tdnaA\n" and said == "3881752 (dnaA, b3702)"  # minus strand: its high end
    assert round(3881752 / 4639675 * 360) == 301


def test_origin_from_the_initiator_product_when_no_gene_is_named():
    line, said = origin_of(os.path.join(EXAMPLE, "NC_003198.ptt"))  # S. Typhi CT18 names no genes
    assert line == "X\t3805127\tproduct\n"
    assert said == "3805127 (product 'chromosomal replication initiator protein', STY3940)"


@pytest.mark.parametrize("annotation", [
    os.path.join(ROOT, "bench", "data", "NC_004431.ptt.gz"),  # E. coli CFT073 lists no dnaA
    fixture("NC_005816.gb"),  # a plasmid: only a /note speaks of DnaA
])
def test_origin_defaults_to_position_1(annotation):
    line, said = origin_of(annotation)
    assert line == "X\t1\tdefault\n" and said.startswith("1 (default: ") and "--origin" in said


@pytest.mark.parametrize("value,line", [
    ("b3702", "X\t3881752\t--origin b3702\n"),   # locus tag
    ("dnaA", "X\t3881752\t--origin dnaA\n"),     # gene name
    ("4000000", "X\t4000000\t--origin 4000000\n"),    # a position
])
def test_origin_option(value, line):
    files = importer.build_genome("X", os.path.join(EXAMPLE, "NC_000913.ptt"), origin=value)
    assert files.origin_line == line and files.summary.endswith(f"origin at {line.split()[1]} (--origin {value})")


def test_origin_option_naming_several_genes_asks_for_a_locus_tag(tmp_path):
    two_named_alike = gff((10, 99, "+"), (200, 299, "+")).replace("locus_tag=", "gene=repA;locus_tag=")
    (tmp_path / "a.gff3").write_text(two_named_alike)
    with pytest.raises(KitError, match=r"--origin: 2 genes are named 'repA' \(g0, g1\); give a locus tag"):
        importer.build_genome("X", str(tmp_path / "a.gff3"), origin="repA")


# ---------------------------------------------------------------- genomes without proteins

def test_genome_without_proteins_warns_when_alignment_is_on(kit, tmp_path):
    status, out, err = kit("import", tmp_path, "A", fixture("sample.ptt"))
    assert status == 0 and out.startswith("A: 3 genes")
    assert err == (f"circog-kit import: warning: A has no protein, and {tmp_path}/config.txt has "
                   "AlignmentFlag=TRUE: its genes will find no partner; import it again with "
                   "--proteins FAA --replace, or set AlignmentFlag=FALSE\n")
    assert kit("import", tmp_path, "B", fixture("sample.ptt"), "--proteins", fixture("sample.faa"))[2] == ""
    config = read(tmp_path / "config.txt")
    (tmp_path / "config.txt").write_text(config.replace("AlignmentFlag=TRUE", "AlignmentFlag=FALSE"))
    assert kit("import", tmp_path, "C", fixture("bakta.gff3"))[2] == ""
