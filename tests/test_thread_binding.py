"""An Engine stays bound to the thread that made it after that thread exits,
even when the C library hands the finished thread's identity to a new one."""

import sys
import threading

import ephemeris

SENT = "ephemeris::PyEngine is unsendable, but sent to another thread"
DROPPED = "ephemeris::PyEngine is unsendable, but is being dropped on another thread"
ATTEMPTS = 50  # glibc reuses a joined thread's stack, and so its identity, at once


def test_a_reused_thread_identity_neither_uses_nor_drops_the_engine(de421, monkeypatch):
    holder, refusals, reused = [], [], []
    worker = threading.Thread(target=lambda: holder.append(ephemeris.Engine(*de421.pair())))
    worker.start()
    worker_identity = worker.ident
    worker.join()

    def use():
        try:
            repr(holder[0])
            refusals.append(None)
        except BaseException as error:  # noqa: BLE001 - the refusal is not an Exception
            refusals.append(str(error))
        if threading.get_ident() == worker_identity:
            reused.append(True)
            holder.clear()  # the last reference, dropped on the thread that looks like the owner

    reports = []
    monkeypatch.setattr(sys, "unraisablehook", reports.append)
    for _ in range(ATTEMPTS):
        thread = threading.Thread(target=use)
        thread.start()
        thread.join()
        if reused:
            break
    holder.clear()  # identity never reused: drop it here, also a foreign thread
    assert refusals and set(refusals) == {SENT}
    assert [str(report.exc_value) for report in reports] == [DROPPED]
