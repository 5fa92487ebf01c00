# (filled in by the Icons work)
