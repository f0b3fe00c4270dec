// Tests for census/process_table.cc; written next.
