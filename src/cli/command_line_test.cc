// Tests for cli/command_line.cc; written next.
