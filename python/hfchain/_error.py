"""hfchain.Error, the one exception type of hfchain."""


class Error(ValueError):
    """A failure of a block or of an argument check: .identifier (for example
    "hfchain:runtime:IndexOutOfBounds", empty for a block's own message) and .message, the exact
    text of the C++ library."""

    def __init__(self, identifier, message):
        super().__init__(message)
        self.identifier = identifier
        self.message = message

    def __str__(self):
        return self.message

    def __reduce__(self):
        return (type(self), (self.identifier, self.message))


Error.__module__ = "hfchain"
