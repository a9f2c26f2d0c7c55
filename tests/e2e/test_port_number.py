"""The port number dialog on the real program: the lists built from the
system's serial port list and the Ports devices with their friendly names
(the fixtures register COM3, COM4 and COM5 as "Test Virtual Port (COMn)"), the
choice in a list, OK's checks with their messages, line monitor mode,
"再読込", Device Manager, and the refusal while a channel is open.

COM1 not taking a COM10 entry, long and malformed friendly names, and the
number read from an entry are proved by tests/unit/port_list_test.cpp."""
import harness
from harness import client_shot, dialog_closed, dialog_shown, screenshot, texts

CMD_PORT_NUMBER, TOOLBAR_PORT_NUMBER = 160, 1115
TITLE = "PortNo.Setting"
CB_SETCURSEL, WM_COMMAND, BM_SETCHECK, CBN_SELCHANGE = 0x014E, 0x0111, 0x00F1, 1
ENTRY3, ENTRY4 = "COM3:[Test Virtual Port ]\n", "COM4:[Test Virtual Port ]\n"
ENTRY5 = "COM5:[Test Virtual Port ]\n"


def open_dialog(driver, command=CMD_PORT_NUMBER):
    driver.command(command)
    return driver.call("dialog", TITLE, 10000, timeout=20)[0]


def choose(driver, dlg, combo_id, index):
    """Chooses entry `index` in a list as a click in its drop-down does: the
    selection moves, then the dialog hears CBN_SELCHANGE."""
    combo = driver.call("child", dlg, combo_id)[0]
    driver.call("send", combo, CB_SETCURSEL, index, 0)
    driver.call("post", dlg, WM_COMMAND, (CBN_SELCHANGE << 16) | combo_id, int(combo, 16))


def fields(driver, dlg):
    return {cid: driver.call("gettext", dlg, cid)[0] for cid in (321, 322, 301, 302)}


def saved(driver, q):
    driver.call("close", "main")
    q.wait_exit(20)
    return dict(harness.read_settings(q.path("quorrin.ini")))


def test_port_number_lists_checks_and_keeps(app, driver, display):
    none = texts()[0][1]
    q = app({"moji_type": 1, "rs_comport": 3, "rs_comport2": 0})
    dlg = open_dialog(driver)
    assert driver.call("gettext", dlg, 252)[0] == texts()[90][1]
    assert driver.call("gettext", dlg, 253)[0] == texts()[18][1]
    assert driver.call("gettext", dlg, 201)[0] == texts()[19][1]
    for combo in (301, 302):
        assert driver.call("items", dlg, combo) == [none, ENTRY3, ENTRY4, ENTRY5]
    assert fields(driver, dlg) == {321: "3", 322: none, 301: ENTRY3, 302: none}
    left, top, right, bottom = map(int, driver.call("rect", dlg))
    driver.call("move", dlg, 0, 0, right - left, bottom - top)
    screenshot(display, "port_number_lists")

    # A port chosen in CH2's list is taken at once.
    choose(driver, dlg, 302, 2)
    assert harness.wait_for(lambda: driver.call("gettext", dlg, 322)[0] == "4")
    driver.no_message_box(300)

    # CH1 takes CH2's port: message text 15, CH2 becomes none.
    choose(driver, dlg, 301, 2)
    driver.expect_message("Quorrin", texts()[15][1])
    assert harness.wait_for(lambda: fields(driver, dlg) == {321: "4", 322: none, 301: ENTRY4, 302: none})

    # OK with 300 for CH2: message text 17 naming CH2; the dialog stays.
    driver.call("settext", dlg, 322, "300")
    driver.call("click", dlg, 251)
    driver.expect_message("Quorrin:CH2", texts()[17][1])
    assert dialog_shown(driver, TITLE)
    assert harness.wait_for(lambda: driver.call("gettext", dlg, 322)[0] == none)

    # Line monitor mode with CH2 at none: message text 16; the dialog stays.
    driver.call("send", driver.call("child", dlg, 201)[0], BM_SETCHECK, 1, 0)
    driver.call("click", dlg, 251)
    driver.expect_message("Quorrin", texts()[16][1])
    assert dialog_shown(driver, TITLE)

    # The same number typed twice, and one out of range for CH1.
    for ch1, ch2, caption, text in (("3", "3", "Quorrin", 15), ("-1", "3", "Quorrin:CH1", 17),
                                    ("256", "3", "Quorrin:CH1", 17)):
        driver.call("settext", dlg, 321, ch1)
        driver.call("settext", dlg, 322, ch2)
        driver.call("click", dlg, 251)
        driver.expect_message(caption, texts()[text][1])
        assert dialog_shown(driver, TITLE), (ch1, ch2)

    # Both ports set with line monitor mode: OK closes, and it all is kept.
    driver.call("settext", dlg, 321, "4")
    driver.call("settext", dlg, 322, "3")
    driver.call("click", dlg, 251)
    assert harness.wait_for(lambda: dialog_closed(driver, TITLE), 10)
    driver.no_message_box(300)
    assert harness.toolbar_enabled(driver, 1116)  # the open command has ports to open
    values = saved(driver, q)
    assert (values["rs_comport"], values["rs_comport2"], values["lm_mode"]) == ("4", "3", "1")


def test_port_number_close_box_keeps_a_list_choice_only(app, driver):
    none = texts()[0][1]
    q = app({"moji_type": 1, "rs_comport": 3, "rs_comport2": 0, "lm_mode": 0})
    dlg = open_dialog(driver, TOOLBAR_PORT_NUMBER)
    choose(driver, dlg, 302, 2)
    assert harness.wait_for(lambda: driver.call("gettext", dlg, 322)[0] == "4")
    # Typed numbers and the line monitor box wait for OK.
    driver.call("settext", dlg, 321, "9")
    driver.call("send", driver.call("child", dlg, 201)[0], BM_SETCHECK, 1, 0)
    # "再読込" builds the lists again from the channels' ports.
    driver.call("press", dlg, 252)
    assert fields(driver, dlg) == {321: "3", 322: "4", 301: ENTRY3, 302: ENTRY4}
    assert driver.call("items", dlg, 302) == [none, ENTRY3, ENTRY4, ENTRY5]
    # Device Manager asks for administrator rights; this Wine has nothing
    # that opens devmgmt.msc, so the start fails and says so.
    driver.call("click", dlg, 253)
    driver.expect_message("Error", "devmgmt.msc could not be started as administrator.")
    assert dialog_shown(driver, TITLE)
    # Choosing the none entry clears a channel.
    choose(driver, dlg, 301, 0)
    assert harness.wait_for(lambda: driver.call("gettext", dlg, 321)[0] == none)
    driver.call("close", dlg)
    assert harness.wait_for(lambda: dialog_closed(driver, TITLE), 10)
    values = saved(driver, q)
    assert (values["rs_comport"], values["rs_comport2"], values["lm_mode"]) == ("0", "4", "0")


def test_port_number_refused_while_a_channel_is_open(app, driver):
    for ch1, ch2 in ((3, 0), (0, 4)):
        q = app({"moji_type": 1, "rs_comport": ch1, "rs_comport2": ch2})
        harness.open_ports(driver)
        driver.command(CMD_PORT_NUMBER)
        driver.expect_message(texts()[4][1], texts()[6][1])
        assert dialog_closed(driver, TITLE)
        values = saved(driver, q)
        assert (values["rs_comport"], values["rs_comport2"]) == (str(ch1), str(ch2))


def test_port_number_dialog_in_japanese_and_dark(app, driver, display):
    q = app({"rs_comport": 4, "rs_comport2": 0})  # Japanese, the default language
    harness.restart_in_theme(driver, q)
    dlg = open_dialog(driver)
    table = texts()
    assert [driver.call("gettext", dlg, cid)[0] for cid in (201, 252, 253, 322, 302, 301)] == \
        [table[19][0], table[90][0], table[18][0], table[0][0], table[0][0], ENTRY4]
    left, top, right, bottom = map(int, driver.call("rect", dlg))
    driver.call("move", dlg, 0, 0, right - left, bottom - top)
    shot = harness.screen_until(lambda: client_shot(display, driver, dlg, "port_number_dark"),
                                lambda s: s.at(2, 2) == (32, 32, 32))
    assert shot.at(2, 2) == (32, 32, 32)
    driver.call("close", dlg)
    assert harness.wait_for(lambda: dialog_closed(driver, TITLE), 10)
