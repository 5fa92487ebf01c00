# (filled in by the Install work)
