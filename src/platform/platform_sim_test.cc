// Tests for platform/platform_sim.cc; written next.
