"""The observable results of builds, storages and mappings against the
recorded behaviour of their earlier representation (see build_outputs.py):
random models in both modes, and storages and mappings filled directly."""
import pytest

from build_outputs import MODEL_SEEDS, STORAGE_SEEDS, direct_record, model_record, normalised, reference


@pytest.fixture(scope="module")
def recorded():
    return reference()


@pytest.mark.parametrize("mode", ["container", "encoder"])
@pytest.mark.parametrize("seed", MODEL_SEEDS)
def test_model_outputs_match_the_recorded_ones(recorded, quiet_engine_log, seed, mode):
    assert normalised(model_record(seed, mode == "encoder")) == recorded["models"][f"{seed}-{mode}"]


@pytest.mark.parametrize("seed", STORAGE_SEEDS)
def test_directly_filled_storage_and_mapping_match_the_recorded_ones(recorded, seed):
    assert normalised(direct_record(seed)) == recorded["direct"][str(seed)]
