# (filled in by the WindowsResources work)
