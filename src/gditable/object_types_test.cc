// Tests for gditable/object_types.cc; written next.
