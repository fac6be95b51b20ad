"""Back-end modules of the web management application."""
