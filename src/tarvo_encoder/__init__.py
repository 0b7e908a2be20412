from .version import tarvo_version

__version__ = tarvo_version
