// Tests for platform/platform_win32.cc; written next.
