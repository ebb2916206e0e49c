-- Lookup tables of the member window: congregations and member statuses.
-- Rows are listed in the drop-downs in the order they are stored here.
CREATE TABLE congregacao (
    COD        TEXT NOT NULL,
    congregacao TEXT NOT NULL,
    setor      TEXT,
    setornome  TEXT,
    cidade     TEXT,
    uf         TEXT
);
INSERT INTO congregacao (COD, congregacao, setor, setornome, cidade, uf) VALUES
    ('1',  'Templo Sede',                  '1', 'SETOR CENTRAL',   'São Paulo',             'SP'),
    ('2',  'Congregação Vila Mariana',     '1', 'SETOR CENTRAL',   'São Paulo',             'SP'),
    ('3',  'Congregação Jardim Ângela',    '2', 'SETOR SUL',       'São Paulo',             'SP'),
    ('4',  'Congregação Capão Redondo',    '2', 'SETOR SUL',       'São Paulo',             'SP'),
    ('5',  'Congregação Sant''Ana',        '3', 'SETOR NORTE',     'São Paulo',             'SP'),
    ('6',  'Congregação Vila Guilherme',   '3', 'SETOR NORTE',     'São Paulo',             'SP'),
    ('7',  'Congregação Itaquera',         '4', 'SETOR LESTE',     'São Paulo',             'SP'),
    ('8',  'Congregação São Miguel',       '4', 'SETOR LESTE',     'São Paulo',             'SP'),
    ('9',  'Congregação Osasco Centro',    '5', 'SETOR OESTE',     'Osasco',                'SP'),
    ('10', 'Congregação Carapicuíba',      '5', 'SETOR OESTE',     'Carapicuíba',           'SP'),
    ('11', 'Congregação Santo André',      '6', 'SETOR ABC',       'Santo André',           'SP'),
    ('12', 'Congregação São Bernardo',     '6', 'SETOR ABC',       'São Bernardo do Campo', 'SP'),
    ('13', 'Congregação Guarulhos',        '7', 'SETOR GUARULHOS', 'Guarulhos',             'SP'),
    ('14', 'Congregação Campinas',         '8', 'SETOR INTERIOR',  'Campinas',              'SP'),
    ('15', 'Congregação Belo Horizonte',   '9', 'CAMPO MISSIONÁRIO', 'Belo Horizonte',      'MG');
CREATE TABLE STATUSMEMBRO (
    COD       INTEGER PRIMARY KEY,
    DESCRICAO TEXT NOT NULL,
    CODTEXTO  TEXT NOT NULL
);
INSERT INTO STATUSMEMBRO (COD, DESCRICAO, CODTEXTO) VALUES
    (1, 'ATIVO',        '1'),
    (2, 'INATIVO',      '2'),
    (3, 'TRANSFERIDO',  '3'),
    (4, 'DISCIPLINADO', '4'),
    (5, 'AFASTADO',     '5'),
    (6, 'FALECIDO',     '6'),
    (7, 'EXCLUÍDO',     '7');
