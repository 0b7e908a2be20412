"""Single rows and costs, collected by the linear solver for one bulk HiGHS
call, against the same model built by bulk calls: the written models are
the same text, and every refusal comes from the call that caused it."""
import numpy as np
import pytest

from velmont.corvane_engine import tovric

INF = tovric.kTovricInf


def new_solver():
    solver = tovric.LinearSolver()
    solver.setOptionValue("log_to_console", False)
    solver.addVars(4, np.zeros(4), np.full(4, 9.0))
    return solver


ROWS = [(-INF, 3.0, [0, 2], [1.0, -2.5]), (1, 1, [3], [4]), (0.5, INF, [], []), (-1.0, 2.0, [1, 0, 3], [2.0, 1e-3, 7.0])]
COSTS = [(0, 1.5), (3, -2.0), (0, 4.0), (2, 1e-7)]


def written(solver, path):
    solver.writeModel(str(path))
    return path.read_text()


def test_single_calls_build_the_model_that_bulk_calls_build(tmp_path):
    single = new_solver()
    for lower, upper, columns, values in ROWS:
        single.addRow(lower, upper, len(columns), np.array(columns, dtype=np.int64), np.array(values))
        single.changeColCost(*COSTS[len(columns) % len(COSTS)])
    for column, cost in COSTS:
        single.changeColCost(np.int32(column), np.float64(cost))
    bulk = new_solver()
    starts = np.cumsum([0] + [len(columns) for _, _, columns, _ in ROWS])
    bulk.addRows(len(ROWS), np.array([r[0] for r in ROWS], dtype=float), np.array([r[1] for r in ROWS], dtype=float),
                 int(starts[-1]), starts, np.concatenate([r[2] for r in ROWS]).astype(int),
                 np.concatenate([r[3] for r in ROWS]).astype(float))
    last = dict(COSTS)
    bulk.changeColsCost(len(last), np.array(list(last)), np.array(list(last.values())))
    assert written(single, tmp_path / "single.lp") == written(bulk, tmp_path / "bulk.lp")


def test_rows_and_other_operations_keep_their_order():
    solver = new_solver()
    solver.addRow(0, 1, 1, np.array([0]), np.array([1.0]))
    solver.addRows(1, np.array([2.0]), np.array([3.0]), 1, np.array([0, 1]), np.array([1]), np.array([1.0]))
    solver.addRow(4, 5, 1, np.array([2]), np.array([1.0]))
    solver.changeColCost(1, 3.0)
    solver.changeColsCost(1, np.array([1]), np.array([5.0]))
    solver.changeColCost(2, 6.0)
    # A collected cost given before a bulk one loses to it; one given after wins.
    solver.run()
    assert solver.getModelStatus() == tovric.TovricModelStatus.kOptimal
    assert solver.getSolution().col_value == pytest.approx([0, 2, 4, 0])
    assert solver.getInfo().objective_function_value == pytest.approx(5 * 2 + 6 * 4)


@pytest.mark.parametrize("args, message", [
    ((INF, INF, 1, np.array([0]), np.array([1.0])), "refused.*lower bound of \\+inf"),
    ((-INF, -INF, 1, np.array([0]), np.array([1.0])), "refused"),
    ((0, 1, 1, np.array([0]), np.array([1e15])), "refused.*1e\\+15 or more"),
    ((0, 1, 2, np.array([1, 1]), np.array([1.0, 1.0])), "refused.*twice"),
    ((np.nan, 1, 1, np.array([0]), np.array([1.0])), "NaN"),
])
def test_refused_rows_fail_at_their_own_call_and_leave_the_model(tmp_path, args, message):
    solver = new_solver()
    solver.addRow(0, 1, 1, np.array([0]), np.array([1.0]))
    with pytest.raises(ValueError, match=message):
        solver.addRow(*args)
    reference = new_solver()
    reference.addRow(0, 1, 1, np.array([0]), np.array([1.0]))
    assert written(solver, tmp_path / "a.lp") == written(reference, tmp_path / "b.lp")


def test_every_other_operation_sees_the_collected_rows_and_costs():
    # A method that reached the HiGHS model without handing over the collected rows
    # and costs first would work on a model that lacks them.
    collecting = {"addRow", "changeColCost", "modelStatusToString"}
    public = [name for name in vars(tovric.LinearSolver) if not name.startswith("_")]
    assert collecting <= set(public)
    assert [name for name in public if name not in collecting
            and not hasattr(getattr(tovric.LinearSolver, name), "__wrapped__")] == []
