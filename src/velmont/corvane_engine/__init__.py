"""The solver engine: log sink, clause storage, variable mapping, witness
interpreter and engine manager; Boolean expressions in ``dravo``, the
pseudo-Boolean encoder in ``kelpa`` and the linear solver in ``tovric``."""
