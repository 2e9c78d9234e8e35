#!/usr/bin/env python3
"""Writes the sample spool files: invoices as the dealer management system prints them (DOS code
page 850, CR LF line ends) and a print job that is not an invoice. Run from this folder."""


def record(model, chassis, first_registration, registration, mileage):
    # Chassis number in columns 20 to 36, registration in columns 66 to 75.
    line = model.ljust(19) + chassis.ljust(17) + " " * 13 + first_registration.ljust(16)
    assert len(line) == 65
    return line + registration.ljust(10) + mileage.rjust(10)


def parts(rows):
    lines = ["Réf.        Désignation                              Qté   P.U. HT    Montant HT"]
    for ref, label, qty, price, amount in rows:
        lines.append(f"{ref:<12}{label:<41}{qty:>4}{price:>10}{amount:>14}")
    return lines


def write(name, lines):
    text = "\r\n".join(lines) + "\r\n\f"
    with open(name, "wb") as f:
        f.write(text.encode("cp850"))


RULE = "-" * 80
VEHICLE_HEADER = "Véhicule           N° de série                   Mise en circ.   Immat.         Km"

write("invoice-1.spl", [
    "ZENTOR AUTOMOBILES SAS                                 Concession agréée",
    "12, avenue de la République                            Tél. 04 78 00 00 00",
    "69003 LYON                                             SIRET 123 456 789 00012",
    "",
    " " * 30 + "MR DUPONT JEAN-FRANÇOIS",
    " " * 30 + "14 RUE DES LILAS",
    " " * 30 + "69100 VILLEURBANNE",
    "FACTURE N° 123456 DU 12/10/26                          Page 1/1",
    "",
    "Conseiller : M. PETIT              Client : 041125     Ordre de réparation : 7781",
    RULE,
    VEHICLE_HEADER,
    record("CLIO V 1.0 TCE 90", "VF15RBF0A12345678", "15/03/2021", "AB-123-CD", "45210"),
    RULE,
    *parts([
        ("7711130071", "HUILE MOTEUR 5W30 (L)", "4,5", "12,90", "58,05"),
        ("8200768913", "FILTRE A HUILE", "1", "11,40", "11,40"),
        ("MO-VID", "MAIN D'OEUVRE VIDANGE", "0,8", "78,00", "62,40"),
    ]),
    RULE,
    " " * 50 + "Total HT               131,85",
    " " * 50 + "TVA 20 %                26,37",
    " " * 50 + "Total TTC              158,22",
    "",
    "Règlement à réception. Merci de votre confiance.",
])

write("invoice-2.spl", [
    " " * 30 + "FACTURE ATELIER",
    "ZENTOR AUTOMOBILES VIENNE                              Concession agréée",
    "3, quai Frédéric Mistral  38200 VIENNE                 Tél. 04 74 00 00 00",
    "",
    " " * 30 + "MME LEFÈVRE HÉLÈNE   ",
    "        ZI DES ÉTANGS",
    "        38200 VIENNE",
    "  FACTURE N° 200417 DU 03/11/26",
    "",
    "Conseiller : Mme ROUX              Client : 052230     Ordre de réparation : 9120",
    RULE,
    VEHICLE_HEADER,
    record("MASTER III L2H2", "VF1MA000X56789012", "02/09/2019", "GH-456-JK", "128400"),
    RULE,
    *parts([
        ("7701208265", "JEU DE PLAQUETTES AV", "1", "64,20", "64,20"),
        ("7701207795", "DISQUE DE FREIN AV", "2", "48,75", "97,50"),
        ("MO-FREIN", "MAIN D'OEUVRE FREINAGE", "1,5", "78,00", "117,00"),
    ]),
    RULE,
    " " * 50 + "Total HT               278,70",
    " " * 50 + "TVA 20 %                55,74",
    " " * 50 + "Total TTC              334,44",
])

write("not-an-invoice.spl", [
    "ZENTOR AUTOMOBILES SAS          ETAT DU STOCK PIECES          Le 07/12/26",
    RULE,
    "Réf.        Désignation                    Emplacement   Stock   Seuil",
    RULE,
    "7711130071  HUILE MOTEUR 5W30 (L)          A-01-03          42      20",
    "8200768913  FILTRE A HUILE                 B-12-01           7      10",
    "7701208265  JEU DE PLAQUETTES AV           C-04-02           3       4",
    "                    Sous-total famille ENTRETIEN :          52",
    "",
    "Pièces sous le seuil : 2",
])
