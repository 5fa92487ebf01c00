# (filled in by the Version work)
