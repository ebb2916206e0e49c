-- Card-stock calibration of this machine's printer: every card text (and the test page) is
-- moved by deslocamentox millimetres to the right and deslocamentoy millimetres down, after
-- positions and font sizes are multiplied by escala. Values are text, as the operator types
-- them ("1,5"); empty means 0 for the offsets and 1 for the scale. One record.
-- A lookup file made before this table existed gets it, with this record, when the layout
-- window (or card printing) first opens it.

CREATE TABLE IF NOT EXISTS calibracaocarteira (
  id INTEGER PRIMARY KEY,
  deslocamentox TEXT,
  deslocamentoy TEXT,
  escala TEXT
);

INSERT OR IGNORE INTO calibracaocarteira (id, deslocamentox, deslocamentoy, escala) VALUES (1, '0', '0', '1');
