"""quorin's functions as the per-partition kernel of a distributed job.

Each partition of the data is handled by one task on a local Ray instance;
the task function is itself a quorin object (a `curry`, a `compose`, an
`excepts` wrapper), shipped to the worker by pickle, and every task sends
back an `Ok` with its partial result or an `Err` with what went wrong. The
partial results are combined in the driver with the same functions, and
every distributed result is checked against the computation done in one
process.

Run: python examples/scale_out.py   (needs `pip install ray`)
"""

import operator
import random

from quorin import (Err, Ok, compose, concat, curry, excepts, flip, frequencies, groupby, merge_with, reduceby,
                    topk)

WORDS = "alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi rho sigma".split()


def word_partitions(parts=8, size=2_000, seed=18):
    rng = random.Random(seed)
    return [[rng.choice(WORDS) for _ in range(size)] for _ in range(parts)]


def number_partitions(parts=8, size=2_000, seed=19):
    rng = random.Random(seed)
    return [[rng.randrange(1_000_000) for _ in range(size)] for _ in range(parts)]


def guarded(kernel):
    """The task shipped to a worker: Ok(kernel(partition)), or Err(repr of the
    exception) when the kernel fails on that partition."""
    return excepts(Exception, compose(Ok, kernel), compose(Err, repr))


def unwrap_all(results):
    """The partial results, or the first Err as an exception."""
    for r in results:
        match r:
            case Err(error):
                raise RuntimeError(f"a partition failed: {error}")
    return [r.value for r in results]


def local_map(task, partitions):
    return [task(p) for p in partitions]


# Each job: (kernel per partition, how the partials combine, the same
# computation in one process over all the data).
JOBS = {
    "frequencies": (frequencies, lambda partials: merge_with(sum, *partials), frequencies),
    "topk": (curry(topk, 10), compose(curry(topk, 10), concat), curry(topk, 10)),
    "groupby": (curry(groupby, len), lambda partials: merge_with(compose(list, concat), *partials), curry(groupby, len)),
    "reduceby": (curry(reduceby, flip(operator.mod, 10), operator.add),
                 lambda partials: merge_with(sum, *partials),
                 curry(reduceby, flip(operator.mod, 10), operator.add)),
}
DATA = {"frequencies": word_partitions, "topk": number_partitions, "groupby": word_partitions,
        "reduceby": number_partitions}


def run_job(name, mapper, partitions=None):
    """(distributed result, single-process result) of job `name`."""
    kernel, combine, whole = JOBS[name]
    partitions = DATA[name]() if partitions is None else partitions
    partials = unwrap_all(mapper(guarded(kernel), partitions))
    return combine(partials), whole(concat(partitions))


def ray_mapper():
    """A mapper running each task as one Ray task (ray.init must have run)."""
    import ray

    @ray.remote
    def apply_task(task, partition):
        return task(partition)

    def mapper(task, partitions):
        task_ref = ray.put(task)
        return ray.get([apply_task.remote(task_ref, p) for p in partitions])

    return mapper


def main():
    import ray

    ray.init(num_cpus=2, include_dashboard=False)
    try:
        mapper = ray_mapper()
        for name in JOBS:
            distributed, single = run_job(name, mapper)
            assert distributed == single, name
            print(f"{name}: {len(distributed)} entries, distributed == single process")
        failed = mapper(guarded(frequencies), [["a"], 5])
        assert failed[0] == Ok({"a": 1}) and isinstance(failed[1], Err), failed
        print(f"a failing partition comes back as {failed[1]!r}")
    finally:
        ray.shutdown()


if __name__ == "__main__":
    main()
