import gc


def pytest_unconfigure(config):
    """Drop the gc callback that hypothesis installs for the rest of the process.

    CPython empties gc.callbacks only after its last collection at exit, so the
    globals reachable from that callback, and through them the pytest session
    with every parametrize value, outlive the interpreter's shutdown. Engine
    objects among those values then show up as nanobind leak reports after
    pytest's summary line.
    """
    gc.callbacks[:] = [c for c in gc.callbacks if not getattr(c, "__module__", "").startswith("hypothesis")]
