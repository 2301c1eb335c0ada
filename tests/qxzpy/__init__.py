"""Helpers of the test drivers, imported by name (CTest puts tests/ on
PYTHONPATH): machine (starting installer-sim and the Pin on a platform,
Windows paths), scenario (a whole run from case data), pin_runs (logs,
.reg exports and sanitizer settings of runs on a driver's own machine)."""
