"""The X display that the Windows test runners need: Wine makes real windows."""
import os


def missing(runner):
    """True, having printed `runner`'s FAIL line, when DISPLAY is not set.
    scripts/test starts one X server for every Windows suite; a runner
    started by hand needs one of its own."""
    if os.environ.get("DISPLAY"):
        return False
    print("FAIL %s: DISPLAY is not set; run it under scripts/test, or start Xvfb first "
          "(iz_start_xvfb in tests/support/xvfb.sh)" % runner, flush=True)
    return True
