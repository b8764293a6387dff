# The tarvex executable.
