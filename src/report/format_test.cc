// Tests for report/format.cc; written next.
