"""The settings file as the real program reads and writes it under Wine."""
import harness

KEYS = ["rs_comport", "rs_speed", "rs_dtbit", "rs_pybit", "rs_spbit", "rs_flow", "rs_comport2", "rs_speed2",
        "rs_dtbit2", "rs_pybit2", "rs_spbit2", "rs_flow2", "rs_stchar_on", "rs_hdchar_on", "rs_inchar_on",
        "rs_spchar_on", "rs_scchar_on", "rs_endchar_on", "rs_scchar_mode", "rs_scchar_type", "rs_stcheck_on",
        "rs_hdcheck_on", "rs_incheck_on", "rs_spcheck_on", "rs_stchar", "rs_hdchar", "rs_spchar", "rs_endchar",
        "scrol_pitch", "hexasc_komoji", "moji_type", "macro_filename", "lm_mode", "auto_foucs_OFF", "pl_time",
        "dlg10_scchar_mode", "dlg13_slave_char", "dlg13_fanction", "dlg13_address", "dlg13_conut",
        "dlg13_byteratio", "dlg4_short", "dlg5_short"]
DEFAULTS = ["3", "19200", "8", "0", "0", "0", "0", "19200", "8", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0",
            "0", "0", "0", "1", "0", "02", "", "03", "03", "2", "0", "0", "", "0", "0", "300", "0", "01", "3", "1",
            "1", "1", "0", "0"]


def run_and_exit(app, driver, settings=None, env=None):
    q = app(settings, env=env)
    driver.call("close", "main")
    assert q.wait_exit(20) == 0
    return q


def test_first_exit_writes_all_keys_in_order_with_defaults(app, driver):
    q = run_and_exit(app, driver, env=harness.JAPANESE_USER)  # moji_type 0 from the locale
    assert harness.read_settings(q.path("quorrin.ini")) == list(zip(KEYS, DEFAULTS))


def test_changed_and_odd_values_survive_a_restart(app, driver):
    q = run_and_exit(app, driver, {
        "rs_speed": "9600", "rs_pybit": "2", "rs_stchar": "7E", "rs_endchar": "123", "pl_time": "500",
        "dlg13_conut": "0", "dlg13_address": "70000", "macro_filename": "C:", "rs_hdchar": "0" * 40,
        "dlg13_start_char": "3B", "rs_comport2": "junk", "moji_type": "9",
    })
    saved = dict(harness.read_settings(q.path("quorrin.ini")))
    assert saved["rs_speed"] == "9600"
    assert saved["rs_pybit"] == "2"
    assert saved["rs_stchar"] == "7e"
    assert saved["rs_endchar"] == "12"
    assert saved["pl_time"] == "500"
    assert saved["dlg13_conut"] == "1"
    assert saved["dlg13_address"] == str(70000 & 0xFFFF)
    assert saved["macro_filename"] == ""
    assert saved["rs_hdchar"] == "0" * 30
    assert saved["rs_comport2"] == "0"
    assert saved["moji_type"] == "9"
    # A read-only key put in by hand stays in the file.
    assert saved["dlg13_start_char"] == "3B"
