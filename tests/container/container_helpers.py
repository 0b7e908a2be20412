"""Template formulas over named engine variables, for the container tests."""
import velmont.corvane_engine.dravo as bx
from tarvo_encoder.core.formula_container import FormulaContainer
from tarvo_encoder.encode.variables import Variable


def declared_variables():
    """The dummy variable (number 0) and x over 2 x 4 elements (numbers 1 to 8)."""
    return {
        "dummy_var": Variable("dummy_var", {"d": 1}, 0),
        "x": Variable("x", {"a": 2, "b": 4}, 1),
    }


def new_container():
    return FormulaContainer(declared_variables(), 9)


class Template:
    """Builds clause-form formulas whose literals are named by text: "~" negates."""

    def __init__(self):
        self.context = bx.Context()

    def literal(self, text):
        negated = text.startswith("~")
        variable = self.context.get_var(text.lstrip("~"))
        return ~variable if negated else variable

    def clause(self, *texts):
        literals = [self.literal(text) for text in texts]
        return literals[0] if len(literals) == 1 else bx.or_s(literals)

    def cnf(self, *clauses):
        built = [self.clause(*texts) for texts in clauses]
        return built[0] if len(built) == 1 else bx.and_(built)
