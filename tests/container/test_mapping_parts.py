"""The engine mapping that the container makes from its partial mappings
(element names, aux blocks, dicts) without a dict of every name, against
the one made from the `mapping` dict: the same entries in the same order,
look-ups both ways, the largest number, and the dict's road wherever two
parts would map one name or blocks share numbers."""
import random
import re

import pytest

import velmont.corvane_engine as ce
from tarvo_encoder import _native
from tarvo_encoder.core.formula_container import ElementNames

from container_helpers import Template, new_container


def observed(var_mapping):
    """Entries in order, and every number's name, of an engine mapping."""
    if var_mapping is None:
        return None
    everything = ce.witness_interpreter()
    everything.set_var_mapping(var_mapping)
    everything.build_mapping_tables(False)
    entries = [(name, var_mapping.number_of(name)) for name in everything.interpret([])]
    numbers = range(-1, max(number for _, number in entries) + 3)
    names = []
    for number in numbers:
        try:
            names.append(var_mapping.name_of(number))
        except KeyError:
            names.append(None)
    return entries, names


def dict_road(mapping):
    if not mapping:
        return None
    var_mapping = ce.var_mapping()
    var_mapping.set_var_map(mapping)
    var_mapping.build_inverse_map()
    return var_mapping


def random_container(rng):
    """A container with hard formulas over foralls with aux variables of both kinds, and one without."""
    container = new_container()
    template = Template()
    for _ in range(rng.randint(1, 4)):
        pb, bx = rng.randint(0, 3), rng.randint(0, 2)
        aux = [f"_kelpa_aux_{k}" for k in range(pb)] + [f"_dravo_aux_{k}" for k in range(bx)]
        rng.shuffle(aux)
        clauses = [[rng.choice(["x(i,j)", "~x(i,j)", "x(1,j)"])] + aux[k:k + 2] for k in range(0, max(len(aux), 1), 2)]
        foralls = {"i": range(rng.randint(0, 2)), "j": range(rng.randint(1, 4))}
        container.add_hard_constraint(template.cnf(*clauses), foralls, pb, bx)
    container.build_cnf_formula("parts")
    return container


@pytest.mark.parametrize("seed", range(30))
def test_the_parts_give_the_mapping_of_the_dict(seed):
    container = random_container(random.Random(seed))
    reference = dict_road(container.mapping)
    assert observed(container.var_mapping()) == observed(reference)
    assert _native.largest_mapped_number(container._mappings) == max(container.mapping.values())


# Parts whose dict merge settles what the blocks cannot: a later part maps a name again, or two blocks
# would share numbers; the container then takes the dict's road.
MEETING_PARTS = {
    "a name in two dicts": [{"a": 1, "b": 2}, {"b": 3, "c": 4}],
    "an element name given again": [ElementNames("x", [2, 2], 1), {"x[1,0]": 9}],
    "an element name given before": [{"x[0,1]": 9}, ElementNames("x", [2, 2], 1)],
    "one variable twice": [ElementNames("x", [2], 1), ElementNames("x", [3], 5)],
    "element numbers shared": [ElementNames("x", [3], 1), ElementNames("y", [3], 2)],
    "a dict number inside a block": [ElementNames("x", [3], 1), {"b": 2}],
}


@pytest.mark.parametrize("parts", MEETING_PARTS.values(), ids=MEETING_PARTS.keys())
def test_parts_that_meet_take_the_dict_road(parts):
    container = new_container()
    container._mappings = list(parts)
    with pytest.raises(ValueError):
        _native.mapping_of(parts).build_inverse_map()
    try:
        reference = observed(dict_road(container.mapping))
    except ValueError as error:
        with pytest.raises(ValueError, match=re.escape(str(error))):
            container.var_mapping()
    else:
        assert observed(container.var_mapping()) == reference
    assert container._FormulaContainer__largest_number() == max(container.mapping.values())


def test_an_empty_mapping_has_no_engine_mapping_and_no_largest_number():
    container = new_container()
    container._mappings = [{}, ElementNames("x", [0, 3], 1)]
    assert container.var_mapping() is None
    with pytest.raises(ValueError):
        container.build_cnf_formula("empty")


def test_element_names_are_the_variables_map():
    container = new_container()
    for variable, part in zip(container._target_variables.values(), container._mappings):
        assert type(part) is ElementNames and part.as_dict() == variable.map
