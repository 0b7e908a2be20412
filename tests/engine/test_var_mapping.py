import pytest

import velmont.corvane_engine as ce

NAMES = {"dummy_var": 0, "x[0,0]": 1, "x[0,1]": 2, "_dravo_aux[1,0,0]": 7}


def built(var_map):
    mapping = ce.var_mapping()
    mapping.set_var_map(var_map)
    mapping.build_inverse_map()
    return mapping


def test_look_ups_both_ways():
    mapping = built(NAMES)
    assert len(mapping) == len(NAMES)
    for name, number in NAMES.items():
        assert mapping.number_of(name) == number
        assert mapping.name_of(number) == name


@pytest.mark.parametrize("look_up, key", [("number_of", "y"), ("number_of", ""), ("name_of", 3), ("name_of", 2**63 - 1)])
def test_unknown_key_raises_key_error(look_up, key):
    with pytest.raises(KeyError):
        getattr(built(NAMES), look_up)(key)


def test_set_var_map_replaces_and_drops_the_inverse():
    mapping = built(NAMES)
    mapping.set_var_map({"a": 5})
    assert len(mapping) == 1
    with pytest.raises(KeyError):
        mapping.number_of("x[0,0]")
    with pytest.raises(RuntimeError, match="build_inverse_map"):
        mapping.name_of(5)
    mapping.build_inverse_map()
    assert mapping.name_of(5) == "a"


def test_a_number_mapped_by_two_names_is_refused():
    mapping = ce.var_mapping()
    mapping.set_var_map({"a": 1, "b": 2, "c": 1})
    with pytest.raises(ValueError, match="'a' and 'c'"):
        mapping.build_inverse_map()


@pytest.mark.parametrize(
    "var_map, error",
    [
        ([("a", 1)], TypeError),
        ({1: 1}, TypeError),
        ({"a": 1.0}, TypeError),
        ({"a": "1"}, TypeError),
        ({"a": True}, TypeError),
        ({"a": -1}, ValueError),
        ({"a": 2**63}, OverflowError),
        ({"\ud800": 1}, UnicodeEncodeError),  # a lone surrogate has no UTF-8 form
    ],
)
def test_bad_mapping_is_refused_and_keeps_the_old_one(var_map, error):
    mapping = built({"kept": 4})
    with pytest.raises(error):
        mapping.set_var_map(var_map)
    assert (len(mapping), mapping.number_of("kept"), mapping.name_of(4)) == (1, 4, "kept")


def test_names_keep_embedded_nul_characters():
    mapping = built({"a\0b": 1, "a": 2})
    assert [mapping.name_of(1), mapping.name_of(2)] == ["a\0b", "a"]
    assert mapping.number_of("a\0b") == 1
