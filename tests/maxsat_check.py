"""A clause storage as a python-sat weighted formula."""
from pysat.formula import WCNF


def storage_wcnf(storage) -> WCNF:
    """The hard and soft clauses of `storage`; built clause by clause, since the
    DIMACS text of a storage without soft clauses is plain CNF."""
    wcnf = WCNF()
    for clause in storage.hard_clauses():
        wcnf.append(clause)
    for clause, weight in storage.soft_clauses():
        wcnf.append(clause, weight=weight)
    return wcnf
