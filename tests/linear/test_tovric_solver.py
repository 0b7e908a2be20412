"""The engine's linear solver against known optima, and its refusals of
arguments that HiGHS would read out of bounds or silently drop."""
import gzip
import itertools
import subprocess
import sys

import numpy as np
import pytest
from scipy.optimize import linprog

from velmont.corvane_engine import tovric
from written_models import reread_optimum


def solver_with(n, lower, upper):
    solver = tovric.LinearSolver()
    solver.setOptionValue("log_to_console", False)
    solver.addVars(n, np.full(n, lower, dtype=np.float64), np.full(n, upper, dtype=np.float64))
    return solver


def solve(solver):
    solver.run()
    assert solver.getModelStatus() == tovric.TovricModelStatus.kOptimal
    return solver.getInfo().objective_function_value, np.array(solver.getSolution().col_value)


def test_lp_matches_scipy():
    # max 3x + 2y  s.t.  x + y <= 4,  x + 3y <= 6,  x <= 3
    solver = solver_with(2, 0.0, tovric.kTovricInf)
    solver.changeObjectiveSense(tovric.ObjSense.kMaximize)
    solver.changeColsCost(2, np.array([0, 1]), np.array([3.0, 2.0]))
    solver.addRows(2, np.full(2, -tovric.kTovricInf), np.array([4.0, 6.0]), 4,
                   np.array([0, 2, 4]), np.array([0, 1, 0, 1]), np.array([1.0, 1.0, 1.0, 3.0]))
    solver.addRow(-tovric.kTovricInf, 3, 1, np.array([0]), np.array([1.0]))
    objective, values = solve(solver)
    reference = linprog([-3, -2], A_ub=[[1, 1], [1, 3], [1, 0]], b_ub=[4, 6, 3])
    assert objective == pytest.approx(-reference.fun)
    assert values == pytest.approx(reference.x)


def test_mip_matches_brute_force():
    # min -5a - 4b - 3c  s.t.  2a + 3b + c <= 5,  4a + b + 2c <= 11,  a, b, c in 0..3
    solver = solver_with(3, 0, 3)
    solver.changeColsIntegrality(3, np.arange(3), np.full(3, tovric.TovricVarType.kInteger))
    for column, cost in enumerate([-5, -4, -3]):
        solver.changeColCost(column, cost)
    solver.addRow(-tovric.kTovricInf, 5, 3, np.arange(3), np.array([2, 3, 1]))
    solver.addRow(-tovric.kTovricInf, 11, 3, np.arange(3), np.array([4, 1, 2]))
    objective, _ = solve(solver)
    best = min(-5 * a - 4 * b - 3 * c for a, b, c in itertools.product(range(4), repeat=3)
               if 2 * a + 3 * b + c <= 5 and 4 * a + b + 2 * c <= 11)
    assert objective == pytest.approx(best)


# min x² + y² + xy - x: Hessian [[2, 1], [1, 2]], optimum at (2/3, -1/3) with value -1/3.
@pytest.mark.parametrize("starts, rows, values", [
    ([0, 2, 4], [0, 1, 0, 1], [2, 1, 1, 2]),  # both triangles
    ([0, 2, 3], [0, 1, 1], [2, 1, 2]),        # lower triangle
    ([0, 1, 3], [0, 0, 1], [2, 1, 2]),        # upper triangle
], ids=["both", "lower", "upper"])
def test_hessian_is_the_symmetric_matrix_given(starts, rows, values):
    solver = solver_with(2, -10.0, 10.0)
    solver.changeColCost(0, -1)
    solver.passHessian(2, len(values), tovric.HessianFormat.kTriangular, np.array(starts), np.array(rows),
                       np.array(values, dtype=np.float64))
    objective, point = solve(solver)
    assert objective == pytest.approx(-1 / 3, abs=1e-6)
    assert point == pytest.approx([2 / 3, -1 / 3], abs=1e-4)


def test_hessian_of_lower_order_leaves_later_columns_linear():
    # min x² - x - y with y <= 1: x = 1/2, y = 1, value -5/4
    solver = solver_with(1, -10.0, 10.0)
    solver.changeColCost(0, -1)
    solver.passHessian(1, 1, tovric.HessianFormat.kTriangular, np.array([0, 1]), np.array([0]), np.array([2.0]))
    solver.addVars(1, np.array([0.0]), np.array([1.0]))
    solver.changeColCost(1, -1)
    objective, _ = solve(solver)
    assert objective == pytest.approx(-1.25, abs=1e-6)
    solver = solver_with(2, -10.0, 10.0)
    solver.changeColCost(0, -1)
    solver.changeColCost(1, -1)
    solver.addRow(-tovric.kTovricInf, 1, 1, np.array([1]), np.array([1.0]))
    solver.passHessian(1, 1, tovric.HessianFormat.kTriangular, np.array([0, 1]), np.array([0]), np.array([2.0]))
    objective, _ = solve(solver)
    assert objective == pytest.approx(-1.25, abs=1e-6)


def test_short_start_point_fixes_the_first_columns_only():
    solver = solver_with(3, 0, 1)
    solver.changeColsIntegrality(3, np.arange(3), np.full(3, tovric.TovricVarType.kInteger))
    solver.changeColsCost(3, np.arange(3), np.array([-1.0, -1.0, -1.0]))
    start = tovric.TovricSolution()
    start.col_value = [1.0]
    solver.setSolution(start)
    assert solve(solver)[0] == pytest.approx(-3)
    start.col_value = [1.0, 1.0, 1.0, 1.0]
    with pytest.raises(ValueError, match="4 values for 3 columns"):
        solver.setSolution(start)


I32 = np.array([0], dtype=np.int32)
ONE = np.array([1.0])


@pytest.mark.parametrize("call, args, message", [
    ("addVars", (5, np.zeros(2), np.ones(2)), "2 entries given, 5 expected"),
    ("addVars", (-1, [], []), "non-negative integer"),
    ("addVars", (1, [np.nan], [1.0]), "must not be NaN"),
    ("addRow", (0, 1, 3, np.array([0, 1]), np.array([1.0, 1.0])), "2 entries given, 3 expected"),
    ("addRow", (0, 1, 1, np.array([2]), ONE), r"lie in 0 \.\. 1"),
    ("addRow", (0, 1, 1, np.array([-1]), ONE), r"lie in 0 \.\. 1"),
    ("addRow", (0, 1, 1, np.array([0.5]), ONE), "must be integers"),
    ("addRow", (0, 1, 1, I32, np.array([np.inf])), "must be finite"),
    ("addRow", (0, 1, 2, np.array([0, 0]), np.array([1.0, 1.0])), "refused"),
    ("addRows", (1, [0.0], [1.0], 1, np.array([0]), I32, ONE), "1 entries given, 2 expected"),
    ("addRows", (1, [0.0], [1.0], 1, np.array([0, 2]), I32, ONE), "rise from 0 to 1"),
    ("changeColCost", (5, 1.0), r"lie in 0 \.\. 1"),
    ("changeColCost", (0, np.nan), "must be finite"),
    ("changeColsCost", (2, I32, ONE), "1 entries given, 2 expected"),
    ("changeColsIntegrality", (1, I32, np.array([9])), "TovricVarType"),
    ("changeColsIntegrality", (1, np.array([7]), np.array([1])), r"lie in 0 \.\. 1"),
    ("passHessian", (3, 1, tovric.HessianFormat.kTriangular, np.array([0, 1, 1, 1]), I32, ONE), "exceeds"),
    ("passHessian", (2, 2, tovric.HessianFormat.kTriangular, np.array([0, 1, 2]), np.array([1, 0]),
                     np.array([1.0, 2.0])), "symmetric"),
    ("passHessian", (1, 1, tovric.HessianFormat.kSquare, np.array([0, 1]), I32, ONE), "kTriangular"),
    ("setOptionValue", ("no_such_option", 1), "refused"),
    ("setOptionValue", ("time_limit", "soon"), "refused"),
])
def test_bad_arguments_are_refused(call, args, message):
    solver = solver_with(2, 0.0, 1.0)
    with pytest.raises(ValueError, match=message):
        getattr(solver, call)(*args)


@pytest.mark.parametrize(
    "name, first_line",
    [
        ("model.lp", "\\"), ("model.mps", "NAME"), ("model", "NAME"), ("m.txt", "NAME"), ("m.LP", "\\"),
        ("m.Mps", "NAME"), ("m.lp.gz", "\\"), ("m.LP.GZ", "\\"), ("m.mps.gz", "NAME"), ("m.gz", "NAME"),
    ],
)
def test_write_model(tmp_path, name, first_line):
    solver = solver_with(2, 0.0, 1.0)
    solver.addRow(0, 1, 2, np.array([0, 1]), np.array([1.0, 1.0]))
    solver.writeModel(str(tmp_path / name))
    # LP for .lp in any case, MPS for every other name, gzip for .gz; nothing left beside the file.
    written = (tmp_path / name).read_bytes()
    if name.lower().endswith(".gz"):
        written = gzip.decompress(written)
    assert written.decode().startswith(first_line)
    assert [p.name for p in tmp_path.iterdir()] == [name]
    with pytest.raises(OSError, match="could not be written"):
        solver.writeModel(str(tmp_path / "missing" / name))
    with pytest.raises(ValueError, match="NUL"):
        solver.writeModel(str(tmp_path / ("cut\0" + name)))
    assert [p.name for p in tmp_path.iterdir()] == [name]


def solver_with_optimum_3():
    """max x0 + 2 x1 subject to x0 + x1 <= 2, 0 <= x <= 1: the optimum is 3."""
    solver = solver_with(2, 0.0, 1.0)
    solver.changeObjectiveSense(tovric.ObjSense.kMaximize)
    solver.changeColsCost(2, np.array([0, 1]), np.array([1.0, 2.0]))
    solver.addRow(-tovric.kTovricInf, 2, 2, np.array([0, 1]), np.array([1.0, 1.0]))
    return solver


def reread_copy(written, tmp_path, name):
    """The optimum of the written file, read back by highspy under a name whose ending it knows."""
    data = written.read_bytes()
    if name.lower().endswith(".gz"):
        data = gzip.decompress(data)
    plain = name.lower().removesuffix(".gz")
    copy = tmp_path / "reread" / ("copy.lp" if plain.endswith(".lp") else "copy.mps")
    copy.parent.mkdir()
    copy.write_bytes(data)
    return reread_optimum(copy)


# Names the model would once write through (name + ending, name + ".gz.part") or over.
@pytest.mark.parametrize(
    "name, callers_files",
    [
        ("model", ["model.mps"]),
        ("out.LP", ["out.LP.lp", "out.lp"]),
        ("m.lp.gz", ["m.lp.gz.lp", "m.lp.gz.gz.part", "m.lp"]),
        ("m.gz", ["m.gz.mps", "m.gz.gz.part"]),
        ("model.mps", ["model.mps.mps", "model"]),
        ("model.lp", ["model.lp"]),  # the target itself is replaced
    ],
)
def test_write_model_touches_no_other_file(tmp_path, name, callers_files):
    folder = tmp_path / "out"
    folder.mkdir()
    for file_name in callers_files:
        (folder / file_name).write_text("the caller's " + file_name)
    solver_with_optimum_3().writeModel(str(folder / name))
    kept = {file_name: (folder / file_name).read_text() for file_name in callers_files if file_name != name}
    assert kept == {file_name: "the caller's " + file_name for file_name in kept}
    assert sorted(p.name for p in folder.iterdir()) == sorted(set(callers_files) | {name})
    assert reread_copy(folder / name, tmp_path, name) == pytest.approx(3)


@pytest.mark.parametrize("name", ["model.mps", "m.lp.gz"])
def test_a_rewritten_file_keeps_its_permissions_and_a_link_is_written_through(tmp_path, name):
    (tmp_path / name).write_text("the caller's model")
    (tmp_path / name).chmod(0o640)
    (tmp_path / "link").symlink_to(name)
    solver_with_optimum_3().writeModel(str(tmp_path / "link"))
    assert (tmp_path / "link").is_symlink()
    assert (tmp_path / name).stat().st_mode & 0o777 == 0o640
    assert sorted(p.name for p in tmp_path.iterdir()) == sorted(["link", name])
    # Written in the format the link's own name asks for: MPS, not compressed.
    assert (tmp_path / name).read_text().startswith("NAME")


@pytest.mark.parametrize("name", ["model", "model.lp", "m.mps.gz"])
def test_a_failed_write_leaves_the_folder_as_it_was(tmp_path, monkeypatch, name):
    (tmp_path / name).write_text("the caller's model")
    solver = solver_with_optimum_3()

    class RefusingWrites:
        """HiGHS, refusing to write once it has made the file."""

        def __init__(self, highs):
            self.highs = highs

        def __getattr__(self, name):
            return getattr(self.highs, name)

        def writeModel(self, file_name):
            open(file_name, "w").write("half a model")
            return tovric.HighsStatus.kError

    monkeypatch.setattr(solver, "_highs", RefusingWrites(solver._highs))
    with pytest.raises(OSError, match="could not be written"):
        solver.writeModel(str(tmp_path / name))
    assert [p.name for p in tmp_path.iterdir()] == [name]
    assert (tmp_path / name).read_text() == "the caller's model"


def test_infeasible_model_reports_its_status():
    solver = solver_with(1, 0.0, 1.0)
    assert solver.getRefusal() is None
    solver.addRow(2, 3, 1, np.array([0]), np.array([1.0]))
    solver.run()
    assert solver.getModelStatus() == tovric.TovricModelStatus.kInfeasible
    assert not solver.getSolution().value_valid
    assert solver.getRefusal() is None  # judged, not refused


@pytest.mark.parametrize("output_flag", [True, False])
def test_integer_columns_with_a_hessian_are_refused_with_a_reason(capfd, output_flag):
    # HiGHS solves no mixed-integer quadratic model; run does not raise, the refusal says why.
    solver = solver_with(1, 0, 3)
    solver.setOptionValue("output_flag", output_flag)
    solver.changeColsIntegrality(1, np.array([0]), np.array([tovric.TovricVarType.kInteger]))
    solver.passHessian(1, 1, tovric.HessianFormat.kTriangular, np.array([0, 1]), np.array([0]), np.array([2.0]))
    solver.run()
    status = solver.getModelStatus()
    assert status not in (tovric.TovricModelStatus.kOptimal, tovric.TovricModelStatus.kTimeLimit)
    # Without output HiGHS logs nothing, and the status is all there is to say.
    assert "MIQP" in solver.getRefusal() if output_flag else solver.getRefusal() == f"model status '{solver.modelStatusToString(status)}'"
    solver.passHessian(1, 0, tovric.HessianFormat.kTriangular, np.array([0, 0]), np.array([], dtype=np.int32), np.array([]))
    solver.run()
    assert solver.getModelStatus() == tovric.TovricModelStatus.kOptimal and solver.getRefusal() is None
    assert capfd.readouterr().out == ""


@pytest.mark.parametrize("version", ["1.17.0", "1.15.1", "2.16.0"])
def test_an_untested_highspy_release_is_refused_at_import(version):
    """The solver reaches into highspy's core module; another release could
    change it under the solver, so the import says what is needed instead."""
    script = ("import importlib.metadata as m\n"
              f"m.version = lambda name: {version!r}\n"
              "import velmont.corvane_engine.tovric\n")
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert run.returncode != 0
    assert f"needs highspy 1.16.x, found highspy {version}" in run.stderr
