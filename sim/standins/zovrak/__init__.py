"""Web management application."""
