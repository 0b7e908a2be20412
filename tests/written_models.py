"""Reading a model file written by a linear model back into a fresh solver."""
import highspy


def reread_optimum(path):
    """The optimum of the model in `path`, solved by a solver of its own."""
    solver = highspy.Highs()
    solver.setOptionValue("output_flag", False)
    assert solver.readModel(str(path)) == highspy.HighsStatus.kOk
    solver.run()
    assert solver.getModelStatus() == highspy.HighsModelStatus.kOptimal
    return solver.getInfo().objective_function_value
