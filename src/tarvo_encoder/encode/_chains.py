"""Texts of chains of one operator, grown on the left: e = e + x[k], e = e & x[k].

The chains are native (see cpp/kernels/text_chain.hpp): building a chain of
n operands costs O(n) and its text is written once, when it is first read;
past the limits below a chain is written flat, with the same meaning.
"""
from .._native import NESTING_LIMIT, SUM_TERMS_LIMIT, Chain, nesting

__all__ = ["Chain", "NESTING_LIMIT", "SUM_TERMS_LIMIT", "nesting"]
