"""The checks of examples/scale_out.py: each job's distributed result equals
the single-process one, in process with every task and result sent through
pickle, and on a local Ray instance when QUORIN_RAY=1 (tools/check-dist ray)."""

import os
import pathlib
import pickle
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "examples"))
import scale_out  # noqa: E402

from quorin import Err, Ok  # noqa: E402


def shipping_map(task, partitions):
    """What a worker sees: the task and its partition pickled, the result too."""
    task = pickle.loads(pickle.dumps(task))
    return [pickle.loads(pickle.dumps(task(pickle.loads(pickle.dumps(p))))) for p in partitions]


@pytest.fixture(scope="module")
def ray_map():
    if os.environ.get("QUORIN_RAY") != "1":
        pytest.skip("the Ray checks run in tools/check-dist ray (QUORIN_RAY=1)")
    ray = pytest.importorskip("ray")
    ray.init(num_cpus=2, include_dashboard=False, log_to_driver=False)
    try:
        yield scale_out.ray_mapper()
    finally:
        ray.shutdown()


@pytest.fixture(params=["shipping", "ray"])
def mapper(request):
    return shipping_map if request.param == "shipping" else request.getfixturevalue("ray_map")


@pytest.mark.no_refleak
@pytest.mark.parametrize("job", scale_out.JOBS)
def test_distributed_equals_single_process(job, mapper):
    distributed, single = scale_out.run_job(job, mapper)
    assert distributed == single and len(single) > 0


@pytest.mark.no_refleak
def test_failing_partition_comes_back_as_err(mapper):
    results = mapper(scale_out.guarded(scale_out.frequencies), [["a", "b", "a"], 5, []])
    assert results[0] == Ok({"a": 2, "b": 1}) and results[2] == Ok({})
    assert results[1] == Err("TypeError(\"'int' object is not iterable\")")
    with pytest.raises(RuntimeError, match="^a partition failed: TypeError"):
        scale_out.unwrap_all(results)
