// Tests for cli/run.cc; written next.
