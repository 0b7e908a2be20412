"""The array linear model: variable arrays, sparse constraint rows and a MILP model with a quadratic objective."""
from tarvo_encoder.linear_parser2.model import LinearModel, VariableType, SolutionStatus, inf
from tarvo_encoder.linear_parser2._expression import sumexp, dot

__all__ = ["LinearModel", "VariableType", "SolutionStatus", "inf", "sumexp", "dot"]
