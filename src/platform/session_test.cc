// Tests for platform/session.cc; written next.
