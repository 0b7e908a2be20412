def test_engine_extension_loads():
    from velmont.corvane_engine import _core

    assert _core.__doc__
