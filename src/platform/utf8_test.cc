// Tests for platform/utf8.cc; written next.
