// Tests for report/details.cc; written next.
