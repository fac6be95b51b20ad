"""Migration support of the management back-end."""
