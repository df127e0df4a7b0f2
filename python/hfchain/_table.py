"""hfchain.Table, the result of run_sweep, crossings and requirements."""


class Table(dict):
    """Columns of one length each (NumPy arrays, one element per row) and the metadata about
    them, apart: pandas.DataFrame(table.columns) or table.to_frame() is the table, table.meta
    the rest. The table is also a dict of both, the form run_sweep returned before
    (table["ber"], table["interrupted"]).

    A run_sweep result also carries the sweep's points for crossings(); a pickled or copied
    table keeps the columns and the metadata only."""

    __slots__ = ("columns", "meta", "_points")

    def __init__(self, columns, meta, points=None):
        super().__init__(columns)
        self.update(meta)
        self.columns = dict(columns)
        self.meta = dict(meta)
        self._points = points

    def to_frame(self):
        """The columns as a pandas.DataFrame (pandas must be installed)."""
        import pandas

        return pandas.DataFrame(self.columns)

    def copy(self):
        return Table(self.columns, self.meta)

    def __reduce__(self):
        return (Table, (self.columns, self.meta))

    def __repr__(self):
        rows = len(next(iter(self.columns.values()))) if self.columns else 0
        return (f"Table({rows} rows; columns {', '.join(self.columns)}; "
                f"meta {', '.join(self.meta)})")


Table.__module__ = "hfchain"
