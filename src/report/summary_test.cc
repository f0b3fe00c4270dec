// Tests for report/summary.cc; written next.
