// Tests for census/census.cc; written next.
