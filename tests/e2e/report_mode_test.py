#!/usr/bin/env python3
"""Placeholder until the report-mode end-to-end suite lands."""
import sys
sys.exit(0)
