#!/usr/bin/env bash
echo "wine e2e: not written yet"
