// Tests for census/handle_list.cc; written next.
