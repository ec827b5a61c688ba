"""The worker pool behind frequencies and topk over large integer buffers:
correct after fork, and results independent of the number of threads."""

import array
import os
import pickle
import select
import signal
import threading
import time
import warnings

import pytest

from quorin import _quorin as q

from helpers import run_script, subprocess_only

PARALLEL = 1 << 19
TIMEOUT = 120  # seconds: a hang fails the test instead of blocking the run


def big_buffer():
    # low cardinality (parallel counting) with values first seen late
    buf = array.array("q", [i % 97 for i in range(3 * PARALLEL)])
    buf[-1] = 10 ** 12
    buf[len(buf) // 2] = -5
    return buf


def os_threads():
    return len(os.listdir("/proc/self/task"))


def summary(buf):
    return (list(q.frequencies(buf).items()), q.topk(10, buf), q.topk(3, buf[: PARALLEL + 1]))


def oracle(buf):
    values = buf.tolist()
    counts = {}
    for v in values:
        counts[v] = counts.get(v, 0) + 1
    return (list(counts.items()), tuple(sorted(values, reverse=True)[:10]),
            tuple(sorted(values[: PARALLEL + 1], reverse=True)[:3]))


@pytest.fixture(scope="module")
def buf_and_expected():
    buf = big_buffer()
    return buf, oracle(buf)


def run_in_child(fn):
    """Forks; the child runs fn() and sends its pickled result through a pipe.
    Returns the result, or fails when the child hangs or dies."""
    r, w = os.pipe()
    with warnings.catch_warnings():
        # 3.12+ warns that forking a multi-threaded process is risky; the
        # pool's threads are exactly what is under test here.
        warnings.simplefilter("ignore", DeprecationWarning)
        pid = os.fork()
    if pid == 0:  # child: never return into pytest
        code = 0
        try:
            os.close(r)
            data = pickle.dumps(fn())
            while data:
                data = data[os.write(w, data):]
        except BaseException:
            code = 1
        finally:
            os._exit(code)
    os.close(w)
    chunks = []
    deadline = time.monotonic() + TIMEOUT
    try:
        while True:
            left = deadline - time.monotonic()
            ready, _, _ = select.select([r], [], [], max(0.0, left))
            if not ready:
                os.kill(pid, signal.SIGKILL)
                pytest.fail("forked child hung")
            data = os.read(r, 1 << 16)
            if not data:
                break
            chunks.append(data)
    finally:
        os.close(r)
        _, status = os.waitpid(pid, 0)
    assert os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0, status
    return pickle.loads(b"".join(chunks))


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork")
def test_child_after_fork_counts_large_buffers(buf_and_expected):
    buf, expected = buf_and_expected
    assert summary(buf) == expected  # the parent's pool now exists

    def child():
        # Only the forking thread survives a fork; the first parallel call
        # builds a fresh pool of the same size.
        alone = os_threads()
        result = summary(buf)
        return alone, result, os_threads()

    # the calling thread is one of the pool's threads
    assert run_in_child(child) == (1, expected, len(os.sched_getaffinity(0)))
    assert summary(buf) == expected  # and the parent's pool still works


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork")
def test_grandchild_after_two_forks(buf_and_expected):
    buf, expected = buf_and_expected
    summary(buf)

    def child():
        first = summary(buf)  # rebuilds the pool in the child
        return first, run_in_child(lambda: summary(buf))

    assert run_in_child(child) == (expected, expected)


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork")
def test_fork_while_other_thread_counts(buf_and_expected):
    buf, expected = buf_and_expected
    stop = threading.Event()
    failures = []

    def busy():
        while not stop.is_set():
            if summary(buf) != expected:
                failures.append("wrong")

    t = threading.Thread(target=busy)
    t.start()
    try:
        for _ in range(3):
            assert run_in_child(lambda: summary(buf)) == expected
    finally:
        stop.set()
        t.join()
    assert failures == []


SCRIPT = """
    import array, hashlib, os, random
    from quorin import _quorin as q
    n = 2 * (1 << 19) + 7
    low = array.array("q", range(101)) * (n // 101)
    low[-1] = 123456
    high = array.array("Q", random.Random(7).randbytes(8 * n))
    parts = [list(q.frequencies(low).items()), q.topk(10, low), q.topk(10, high),
             list(q.frequencies(high).items())[-5:], q.topk(1000, high)[-3:]]
    print(len(os.sched_getaffinity(0)), hashlib.sha256(repr(parts).encode()).hexdigest())
"""


@subprocess_only
def test_results_do_not_depend_on_thread_count():
    cpus = sorted(os.sched_getaffinity(0))
    one = run_script(SCRIPT, cpus=cpus[:1]).split()
    every = run_script(SCRIPT).split()
    assert one[0] == "1" and every[0] == str(len(cpus))
    assert one[1] == every[1]
    for n in ("1", "2", "3"):
        assert run_script(SCRIPT, env={"QUORIN_NUM_THREADS": n}).split()[1] == one[1]


THREADS_SCRIPT = """
    import array, os
    from quorin import _quorin as q
    tasks = lambda: len(os.listdir("/proc/self/task"))
    before = tasks()
    q.topk(3, array.array("q", range(1 << 19)))
    print(tasks() - before)
"""


@subprocess_only
@pytest.mark.parametrize("value, workers", [
    ("1", 0), ("2", 1), ("3", 2), ("007", 6), ("8", 7),
    # not a positive integer: the default, one thread per allowed processor
    ("0", None), ("-2", None), ("", None), ("two", None), (" 2", None), ("2.0", None),
    ("99999999999999999999999", 255),  # capped
])
def test_num_threads_variable_sets_the_pool_size(value, workers):
    default = len(os.sched_getaffinity(0)) - 1
    out = run_script(THREADS_SCRIPT, env={"QUORIN_NUM_THREADS": value})
    assert int(out) == (default if workers is None else workers)


@subprocess_only
def test_workers_are_not_pinned():
    cpus = sorted(os.sched_getaffinity(0))
    out = run_script("""
        import array, os
        from quorin import _quorin as q
        q.topk(3, array.array("q", range(1 << 19)))
        print(sorted({len(os.sched_getaffinity(int(t))) for t in os.listdir("/proc/self/task")}))
    """, env={"QUORIN_NUM_THREADS": "4"})
    assert out.strip() == str([len(cpus)])


@subprocess_only
@pytest.mark.parametrize("restrict", [True, False])
def test_pool_created_on_first_parallel_call_and_sized_by_affinity(restrict):
    cpus = sorted(os.sched_getaffinity(0))
    out = run_script("""
        import array, os
        from quorin import _quorin as q
        tasks = lambda: len(os.listdir("/proc/self/task"))
        before = tasks()
        q.frequencies(array.array("q", range(1000)))
        q.topk(3, array.array("q", range(1000)))
        small = tasks()
        q.topk(3, array.array("q", range(1 << 19)))
        first = tasks()
        q.frequencies(array.array("q", range(1000)) * 600)
        print(small - before, first - before, tasks() - before)
    """, cpus=cpus[:1] if restrict else None)
    workers = 0 if restrict else len(cpus) - 1  # the calling thread is the other one
    assert out.split() == ["0", str(workers), str(workers)]


@subprocess_only
def test_interpreter_exits_with_pool_running():
    out = run_script("""
        import array, threading
        from quorin import _quorin as q
        buf = array.array("i", range(1000)) * 600
        assert q.topk(1, buf) == (999,)
        t = threading.Thread(target=lambda: [q.frequencies(buf) for _ in range(50)], daemon=True)
        t.start()
        print("ok")
    """)
    assert out.strip() == "ok"


def test_concurrent_python_threads_share_the_pool(buf_and_expected):
    buf, expected = buf_and_expected
    results = []

    def work():
        results.append(summary(buf) == expected)

    threads = [threading.Thread(target=work) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == [True] * 4
