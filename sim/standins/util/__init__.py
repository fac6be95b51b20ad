"""Shared utilities of the management back-end."""
