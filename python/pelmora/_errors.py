"""The exception of the pelmora module."""


class PelmoraError(ArithmeticError):
    """A calculation failed as the DLL's method fails.

    number       the DLL's error number: 6 (Overflow), 5 (Invalid procedure
                 call or argument) or 513 (Floating-point error)
    description  the DLL's description of it
    value        what the method's out-parameter holds then (0.0 for the
                 number methods, None for the text methods; the Path, with
                 the parts that stand, for the paths)
    index        the element of a batch that failed, or None
    """

    def __init__(self, number, description, value=None, index=None):
        super().__init__(number, description)
        self.number = number
        self.description = description
        self.value = value
        self.index = index

    def __repr__(self):
        extra = "".join(", %s=%r" % (name, getattr(self, name))
                        for name in ("value", "index") if getattr(self, name) is not None)
        return "%s(%r, %r%s)" % (type(self).__name__, self.number, self.description, extra)

    def __str__(self):
        where = "" if self.index is None else " at index %d" % self.index
        return "%s (error %d)%s" % (self.description, self.number, where)
