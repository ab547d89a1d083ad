"""What the direct benchmark drivers share: the median time of runs."""
import statistics
import time


def median_seconds(runs, work):
    """The median wall time of RUNS calls of WORK, in seconds."""
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return statistics.median(times)
