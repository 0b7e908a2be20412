import logging

import velmont.corvane_engine as ce

logging.basicConfig(level=logging.WARNING, format="%(asctime)s %(name)s %(levelname)s: %(message)s")


def log_c(msg: str):
    ce.log_encoder(msg, ce.log_level_type.critical)


def log_e(msg: str):
    ce.log_encoder(msg, ce.log_level_type.error)


def log_w(msg: str):
    ce.log_encoder(msg, ce.log_level_type.warning)


def log_i(msg: str):
    ce.log_encoder(msg, ce.log_level_type.info)


def log_d(msg: str):
    ce.log_encoder(msg, ce.log_level_type.debug)


def log_t(msg: str):
    ce.log_encoder(msg, ce.log_level_type.trace)
