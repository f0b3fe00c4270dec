// Tests for gditable/shared_table.cc; written next.
