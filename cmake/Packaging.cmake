# (filled in by the Packaging work)
