"""Genomes clustered by a pair measure: the distance matrix, an
average-linkage tree (SciPy's hierarchy, leaves in optimal order), the order
of its leaves, its Newick text and the shape of its dendrogram.

The distance between two genomes is 1 - the pair's measure (a share from 0
to 1); a pair without a measure (no result files: no accepted pair) is as far
apart as possible, 1.
"""
import re
from dataclasses import dataclass

import numpy as np

NEWICK_PLAIN = re.compile(r"[A-Za-z0-9_.-]+")


@dataclass
class Tree:
    """The clustering of n genomes: names, distances, SciPy's linkage rows
    (child, child, distance, size; empty below two genomes) and the leaves'
    order, which is the order of the matrix rows and columns."""
    names: list
    distances: np.ndarray
    linkage: np.ndarray
    order: list


def distance_matrix(names, measures):
    """n x n distances; measures maps (name1, name2) in either order to a
    share in 0..1."""
    index = {name: i for i, name in enumerate(names)}
    distances = np.ones((len(names), len(names)))
    np.fill_diagonal(distances, 0.0)
    for (first, second), share in measures.items():
        i, j = index[first], index[second]
        if i != j:
            distances[i, j] = distances[j, i] = 1.0 - min(1.0, max(0.0, share))
    return distances


def cluster(names, measures):
    """Average linkage (UPGMA) of the distances, leaves in the order that
    puts the most similar neighbours side by side."""
    distances = distance_matrix(names, measures)
    if len(names) < 2:
        return Tree(list(names), distances, np.empty((0, 4)), list(range(len(names))))
    from scipy.cluster import hierarchy
    from scipy.spatial.distance import squareform
    condensed = squareform(distances, checks=False)
    linkage = hierarchy.optimal_leaf_ordering(hierarchy.linkage(condensed, method="average"), condensed)
    return Tree(list(names), distances, linkage, [int(i) for i in hierarchy.leaves_list(linkage)])


def newick_name(name):
    """A leaf label: bare when it holds only letters, digits, '_', '.' and
    '-'; otherwise in single quotes, a quote doubled."""
    if NEWICK_PLAIN.fullmatch(name):
        return name
    return "'" + name.replace("'", "''") + "'"


def _length(value):
    return f"{max(0.0, value):.6g}"


def newick(tree):
    """The tree in Newick, branch lengths such that the path between two
    leaves is their distance in the tree (a node sits at half its merge
    distance); children in the matrix's order."""
    n = len(tree.names)
    if n == 0:
        return ";\n"
    if n == 1:
        return newick_name(tree.names[0]) + ";\n"
    text = [newick_name(name) for name in tree.names]
    height = [0.0] * n
    for first, second, distance, _ in tree.linkage:
        first, second, top = int(first), int(second), distance / 2.0
        text.append(f"({text[first]}:{_length(top - height[first])},"
                    f"{text[second]}:{_length(top - height[second])})")
        height.append(top)
        text[first] = text[second] = None  # each subtree is used once; let it go
    return text[-1] + ";\n"


def distances_tsv(tree):
    """The distance matrix as a table with a header, genomes in name order
    (4 decimals, like the shares it comes from)."""
    order = sorted(range(len(tree.names)), key=lambda i: tree.names[i])
    lines = ["\t".join(["genome"] + [tree.names[i] for i in order])]
    for i in order:
        lines.append("\t".join([tree.names[i]] + [f"{tree.distances[i, j]:.4f}" for j in order]))
    return "\n".join(lines) + "\n"


def dendrogram(tree):
    """The dendrogram as segments (position0, height0, position1, height1):
    leaf k of the order sits at position k + 0.5 and height 0; a merge sits
    at its distance, midway between its two children."""
    n = len(tree.names)
    position = [0.0] * n
    height = [0.0] * n
    for rank, leaf in enumerate(tree.order):
        position[leaf] = rank + 0.5
    segments = []
    for first, second, distance, _ in tree.linkage:
        first, second = int(first), int(second)
        for child in (first, second):
            segments.append((position[child], height[child], position[child], float(distance)))
        segments.append((position[first], float(distance), position[second], float(distance)))
        position.append((position[first] + position[second]) / 2.0)
        height.append(float(distance))
    return segments
