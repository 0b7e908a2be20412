"""The name prefixes of aux variables: the PB encoder's and the Tseytin
transformation's. The dumper numbers aux variables by them, so no declared
name may hold one."""

KELPA_AUX = "_kelpa_aux"
DRAVO_AUX = "_dravo_aux"
