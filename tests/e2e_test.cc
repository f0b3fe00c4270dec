// End-to-end tests; written next.
